#pragma once

#include <QObject>
#include <QThread>

#include <memory>

#include "sessions/iq_manager.h"

// One worker of the session pool: a manager, the thread its queued calls run on, and a dedicated
// thread for its socket loop. The loop never waits for a free thread in a shared pool, so every
// worker's codecs connect even on a two-core machine.
//
// Threads: made, started, stopped and destroyed on the GUI thread (by the pool). Once started, the
// manager lives on the worker thread, which runs only the calls queued to it, and its socket loop
// runs on the loop thread; both are gone when wait_stopped() returns true, and always before the
// manager is destroyed.
class ManagerWorker : public QObject {
    Q_OBJECT

public:
    explicit ManagerWorker(int id, QObject* parent = nullptr);
    // Stops and waits for both threads before the manager goes.
    ~ManagerWorker() override;

    int id() const { return id_; }
    IQManager& manager() { return manager_; }
    const IQManager& manager() const { return manager_; }
    // Waits until the socket loop and the worker thread have ended; false when the time ran out
    // first (logged). A worker that never started has nothing to wait for.
    bool wait_stopped(int timeout_ms);

public slots:
    void start_manager();
    // Tells the loop and the thread to end; does not wait.
    void stop_manager();

private:
    int id_;
    IQManager manager_;
    QThread thread_;                        // runs the calls queued to the manager
    std::unique_ptr<QThread> loop_thread_;  // runs the socket loop
};
