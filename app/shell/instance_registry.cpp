#include "app/shell/instance_registry.h"

#include "scheduler/session_adaptor.h"
#include "sessions/ipc_object.h"

QMap<QUuid, IPCObject*> instanceMap;
QMutex configMutex;

const QColor frameLossColor(242, 70, 40, 255);
const QColor remoteLossColor(150, 230, 70, 255);
const QColor targetColor(220, 228, 0, 255);
const QColor delayColor(70, 140, 240, 255);
const QColor jitterColor(50, 240, 180, 255);
const QColor correctionColor(230, 200, 0, 255);
const QColor idlePeerBackground(255, 255, 255, 0);
const QColor activePeerBackground(150, 240, 30, 160);

IPCObject* findInstance(const QUuid& key) {
    return instanceMap.value(key, nullptr);
}

IPCObject* findInstanceByAddress(const QString& host, int port) {
    for (IPCObject* session : qAsConst(instanceMap)) {
        if (session->host == host && session->port == port) return session;
    }
    return nullptr;
}

bool anyInstanceReady() {
    for (IPCObject* session : qAsConst(instanceMap)) {
        if (session->state() == IQEndpointClient::READY) return true;
    }
    return false;
}

std::shared_ptr<CodecSessions> registeredSessions() {
    return std::make_shared<SessionAdaptor>(findInstance, [] { return instanceMap.values(); });
}

void releaseAllInstances() {
    const QList<IPCObject*> sessions = instanceMap.values();
    instanceMap.clear();
    for (IPCObject* session : sessions) session->markForDeletion();
}
