#include "app/shell/instance_registry.h"

#include "scheduler/session_adaptor.h"
#include "sessions/ipc_object.h"

QMap<QUuid, IPCObject*> instanceMap;
std::mutex configMutex;

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
