#pragma once

#include <QObject>
#include <QString>

#include <string>

#include "ipc/base/ipc_recursive_mutex.h"
#include "ipc/net/ipc_manager.h"
#include "sessions/iq_mutex.h"

// The socket manager of one worker as a Qt object: it can be moved to the worker's thread to
// receive queued calls, runs the library's socket loop in event_loop_slot, reports
// how many sessions it holds, owns the manager lock, and disposes of sessions by deferred deletion
// so that a session is always deleted on its own thread.
//
// Threads: built on the GUI thread, moved to its worker thread when the worker starts; the socket
// loop runs on a thread of its own. The sessions call connect_client directly on the GUI thread, so
// that a connect and a later disconnect happen in the order they were asked for. Every operation
// reachable from several threads takes the manager lock, except posting (post, post_request), which
// takes the queue lock.
class IQManager : public QObject, public IPCManager {
    Q_OBJECT

public:
    static constexpr unsigned kMaxClients = 64;
    // A timer must run for the sessions' checks (idle time-out, answer deadline, probes) to be
    // ticked, each when it is due; the interval itself paces only servers, which a worker has none of.
    static constexpr uint32_t kTimerIntervalMs = 1000;

    explicit IQManager(QObject* parent = nullptr);
    ~IQManager() override;

    virtual IPCMutex* mutex() const { return &lock_; }
    virtual unsigned client_count() const;
    virtual unsigned max_clients() const { return kMaxClients; }
    void destroy_endpoint(IPCEndpointClient* endpoint) override;
    IPCMutex* get_lock() const override { return &lock_; }
    IPCMutex* get_queue_lock() const override { return &queue_lock_; }

    // Opens the named session's connection. A name that is no longer registered does nothing, so a
    // removed session never leaves a library endpoint behind that keeps logging in.
    Q_INVOKABLE void connect_client(QString protocol, QString transport, QString address, QString name);

public slots:
    void event_loop_slot();
    void print_thread_id();

private:
    mutable IQMutex lock_;
    mutable IPCRecursiveMutex queue_lock_;  // guards the posting queues only; taken alone
};
