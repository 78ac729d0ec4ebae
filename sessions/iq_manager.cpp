#include "sessions/iq_manager.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QThread>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/net/ipc_address.h"
#include "sessions/iq_endpoint_client.h"

// Routine start-up lines, for developers: off unless the category is switched on.
Q_LOGGING_CATEGORY(lcSessionLoop, "kestrane.session.loop", QtInfoMsg)

IQManager::IQManager(QObject* parent) : QObject(parent) {
    set_timer_interval(kTimerIntervalMs);
}

IQManager::~IQManager() {
    // The loop must be gone before the QObject part is: stop and wait here, while it still exists.
    stop();
    wait_for_loop_exit(-1);
}

unsigned IQManager::client_count() const {
    IPCMutexGuard guard(get_lock());
    return static_cast<unsigned>(endpoint_count());
}

void IQManager::destroy_endpoint(IPCEndpointClient* endpoint) {
    if (auto* session = dynamic_cast<IQEndpointClient*>(endpoint)) {
        session->deleteLater();
    } else {
        delete endpoint;
    }
}

void IQManager::connect_client(QString protocol, QString transport, QString address, QString name) {
    const std::string endpoint_name = name.toStdString();
    IPCMutexGuard guard(get_lock());
    if (!find_endpoint(endpoint_name)) {
        qWarning() << "connect_client: no session named" << name << "is registered; not connecting";
        return;
    }
    IPCManager::connect(protocol.toStdString(), transport.toStdString(), IPCAddress(address.toStdString(), 0),
                        endpoint_name, 0);
}

void IQManager::event_loop_slot() {
    qCDebug(lcSessionLoop) << "Manager's IPC event_loop is running on thread" << QThread::currentThreadId();
    event_loop();
}

void IQManager::print_thread_id() {
    qCDebug(lcSessionLoop) << "Manager's QEventLoop is running on thread" << QThread::currentThreadId();
}
