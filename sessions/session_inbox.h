#pragma once

#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>
#include <mutex>

#include "ipc/message.h"

// Carries calls from the socket loops to the sessions' own thread in batches. A fleet's codecs
// report a few thousand times a second; posting each report as its own queued call cost a copy of
// the message, an event, a wake-up of the GUI thread and a dispatch per report. Here a call is a
// short push under a mutex, the GUI thread is woken once per batch, and the message is shared with
// the reply cache instead of copied.
//
// A batch collects for kBatchWindowMs after its first call, then every call queued so far is made
// in the order it was queued. A session's signals raised on a loop thread go through here as well,
// so that they keep their order relative to its reports.
//
// Threads: lives on the sessions' thread (one inbox per such thread, shared by its sessions), where
// the calls are made. post() may be called from any thread. forget() runs on the sessions' thread.
class SessionInbox : public QObject {
    Q_OBJECT

public:
    static constexpr int kBatchWindowMs = 4;

    // The inbox of the calling thread, made when its first holder asks and deleted with its last
    // (once the batch being delivered is done, when the last session goes inside one of its calls).
    static std::shared_ptr<SessionInbox> for_current_thread();

    ~SessionInbox() override;

    // Queues a call of the receiver's method (absolute index; a slot or a signal) with the message
    // as its only argument, or with no argument when `argument` is null.
    void post(QObject* receiver, int method_index, std::shared_ptr<const Message> argument);
    // Drops every call queued for the receiver, which is going away.
    void forget(const QObject* receiver);

protected:
    void customEvent(QEvent* event) override;

private:
    struct Call {
        QObject* receiver = nullptr;  // not owned; forget() removes its calls before it is deleted
        int method_index = -1;
        std::shared_ptr<const Message> argument;  // null for a call without argument
    };

    SessionInbox();
    void deliver_batch();
    bool take_next(Call& call);

    bool is_delivering_ = false;  // inside deliver_batch; sessions' thread only
    std::mutex mutex_;
    std::deque<Call> calls_;       // guarded by mutex_
    bool is_batch_open_ = false;   // guarded by mutex_; a batch has been announced and not yet taken
    QTimer batch_timer_;
};
