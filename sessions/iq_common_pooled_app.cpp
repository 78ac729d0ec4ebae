#include "sessions/iq_common_pooled_app.h"

#include <QDebug>
#include <QLoggingCategory>

#include "sessions/iq_endpoint_client.h"
#include "sessions/manager_worker.h"

// Every session leaves the pool at an ordinary shutdown: a line for each would bury the shutdown's own.
Q_LOGGING_CATEGORY(lcSessionPool, "kestrane.session.pool", QtInfoMsg)

IQCommonPooledApp::IQCommonPooledApp(int worker_count, QObject* parent) : QObject(parent) {
    for (int id = 0; id < worker_count; ++id) workers_.push_back(new ManagerWorker(id, nullptr));
}

IQCommonPooledApp::~IQCommonPooledApp() {
    for (auto it = clients_.cbegin(); it != clients_.cend(); ++it) {
        IQManager& manager = it.value().worker->manager();
        const std::string name = it.key().toStdString();
        manager.IPCManager::disconnect(name);
        manager.remove_endpoint(name);
        it.value().session->set_placement(nullptr, nullptr, QString());
    }
    clients_.clear();
    stop_managers();
    while (!workers_.empty()) {
        delete workers_.back();
        workers_.pop_back();
    }
}

ManagerWorker* IQCommonPooledApp::find_available_worker() {
    const int count = worker_count();
    for (int tries = 0; tries < count && cursor_ < count; ++tries) {
        ManagerWorker* worker = workers_[static_cast<size_t>(cursor_)];
        cursor_ = (cursor_ + 1) % count;
        if (worker->manager().client_count() < worker->manager().max_clients()) return worker;
    }
    qWarning() << "couldn't find a worker with available spots";
    return nullptr;
}

bool IQCommonPooledApp::add_client(const QString& name, IQEndpointClient* session) {
    if (clients_.contains(name)) {
        qWarning() << "add_client: a session named" << name << "is placed already; not placing another";
        return false;
    }
    if (session->session_manager()) {
        qWarning() << "add_client: the session is placed already; not placing it again as" << name;
        return false;
    }
    ManagerWorker* worker = find_available_worker();
    if (!worker) return false;
    session->set_placement(this, &worker->manager(), name);
    worker->manager().add_endpoint(name.toStdString(), session);
    clients_.insert(name, Placement{worker, session});
    return true;
}

bool IQCommonPooledApp::remove_client(const QString& name) {
    const auto it = clients_.find(name);
    if (it == clients_.end()) return false;
    const QString removed = it.key();  // `name` may be the session's own copy, cleared below
    const Placement placement = it.value();
    clients_.erase(it);
    placement.worker->manager().remove_endpoint(removed.toStdString());
    placement.session->set_placement(nullptr, nullptr, QString());
    qCDebug(lcSessionPool).noquote() << "remove_client:" << placement.session->log_name();
    return true;
}

IQManager* IQCommonPooledApp::manager_for(const QString& name) const {
    const auto it = clients_.constFind(name);
    return it == clients_.constEnd() ? nullptr : &it.value().worker->manager();
}

int IQCommonPooledApp::client_count() const {
    int count = 0;
    for (const ManagerWorker* worker : workers_) count += static_cast<int>(worker->manager().client_count());
    return count;
}

int IQCommonPooledApp::available_spots() const {
    int spots = 0;
    for (const ManagerWorker* worker : workers_) {
        spots += static_cast<int>(worker->manager().max_clients() - worker->manager().client_count());
    }
    return spots;
}

void IQCommonPooledApp::start_managers() {
    for (ManagerWorker* worker : workers_) worker->start_manager();
}

void IQCommonPooledApp::stop_managers() {
    for (ManagerWorker* worker : workers_) worker->stop_manager();
    for (ManagerWorker* worker : workers_) worker->wait_stopped(kStopTimeoutMs);
}

void IQCommonPooledApp::stop_managers(QObject*) {
    stop_managers();
}
