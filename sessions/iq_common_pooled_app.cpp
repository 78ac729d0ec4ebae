#include "sessions/iq_common_pooled_app.h"

#include <QDebug>

#include "sessions/iq_endpoint_client.h"
#include "sessions/manager_worker.h"

IQCommonPooledApp::IQCommonPooledApp(int worker_count, QObject* parent) : QObject(parent) {
    for (int id = 0; id < worker_count; ++id) workers_.push_back(new ManagerWorker(id, nullptr));
}

IQCommonPooledApp::~IQCommonPooledApp() {
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
    ManagerWorker* worker = find_available_worker();
    if (!worker) return false;
    session->set_session_manager(&worker->manager());
    worker->manager().add_endpoint(name.toStdString(), session);
    clients_[name] = Placement{worker, session};
    return true;
}

bool IQCommonPooledApp::remove_client(const QString& name) {
    const auto it = clients_.find(name);
    if (it == clients_.end()) return false;
    it.value().worker->manager().remove_endpoint(name.toStdString());
    it.value().session->set_session_manager(nullptr);
    clients_.remove(name);
    qDebug() << "removed client name" << name;
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
