#pragma once

#include <QHash>
#include <QObject>
#include <QPair>
#include <QSocketNotifier>

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/one_shot_timer.h"

// Carries calls from the socket loops to the sessions' own thread in batches. A fleet's codecs
// report a few thousand times a second; posting each report as its own queued call cost a copy of
// the message, an event, a wake-up of the GUI thread and a dispatch per report. Here a call is a
// short push under a mutex, the GUI thread is woken once per batch, and the message is shared with
// the reply cache instead of copied.
//
// A batch collects for a window after its first call, then every call queued so far is made in the
// order it was queued, with no lock of the sessions held. The window depends on what the batch
// holds: a signal, a level report or a report a view shows as it comes is made within
// kPromptWindowMs, so that the views follow a state at once and the meters keep their frame
// pacing; other replies and reports wait up to kDataWindowMs, which lets the statistics of a
// fleet's unseen codecs share their wake-ups. A session's signals go
// through here as well, from every thread, so that they keep their order relative to each other and
// to its reports, and no receiver ever runs inside the code that raised them.
//
// The window is kept by a timer descriptor that the posting thread arms and the sessions' thread
// watches: a batch costs that thread one wake-up and no entry on its own timer list, which holds a
// timer of every session.
//
// When the GUI thread falls behind, a newer level report of a session replaces its older one still
// queued (Delivery::kNewestOnly), so the queue holds at most one per session and report kind.
//
// Threads: lives on the sessions' thread (one inbox per such thread, shared by its sessions), where
// the calls are made. post(), forget() and forget_data() may be called from any thread.
class SessionInbox : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kPromptWindowMs{4};
    static constexpr std::chrono::milliseconds kDataWindowMs{50};

    enum class Delivery {
        kInOrder,     // a signal or a refusal: kept until made, or until the receiver is forgotten
        kData,        // a reply or report of the current connection: forget_data() drops it
        kShownData,   // kData that a view shows as it comes: made within kPromptWindowMs
        kNewestOnly,  // kData of which only the newest matters: replaces a queued call of its kind
    };

    // The inbox of the calling thread, made when its first holder asks and deleted with its last
    // (once the batch being delivered is done, when the last session goes inside one of its calls).
    static std::shared_ptr<SessionInbox> for_current_thread();

    ~SessionInbox() override;

    // Queues a call of the receiver's method (absolute index; a slot or a signal) with `argument`
    // as its only argument, or with no argument when it is null. The argument is the value the
    // method takes (a Message, or a record of the receiver's own), shared, never copied or packed.
    void post(QObject* receiver, int method_index, std::shared_ptr<const void> argument, Delivery delivery);
    // Drops every call queued for the receiver: it is going away.
    void forget(const QObject* receiver);
    // Drops the receiver's queued replies and reports: they belong to a connection that has ended.
    void forget_data(const QObject* receiver);

private:
    struct Call {
        QObject* receiver = nullptr;  // not owned; forget() removes its calls before it is deleted
        int method_index = -1;
        std::shared_ptr<const void> argument;  // of the type the method takes; null for none
        Delivery delivery = Delivery::kInOrder;
    };
    using CallKind = QPair<const QObject*, int>;  // receiver and method

    using Clock = std::chrono::steady_clock;

    SessionInbox();
    static std::chrono::milliseconds window_of(Delivery delivery);
    // Opens a batch that ends `window` from now, or has the open one end then when that is sooner.
    // Under mutex_.
    void open_batch(std::chrono::milliseconds window);
    void deliver_batch();
    bool take_next(Call& call);
    // Removes the receiver's calls that `matches` accepts; under mutex_.
    template <class Matches>
    void remove_calls(const QObject* receiver, Matches matches);

    bool is_delivering_ = false;  // inside deliver_batch; sessions' thread only
    std::mutex mutex_;
    std::deque<Call> calls_;  // guarded by mutex_
    // The newest argument of each kNewestOnly call queued in calls_ (which holds it as null until
    // it is taken). Guarded by mutex_.
    QHash<CallKind, std::shared_ptr<const void>> newest_;
    bool is_batch_open_ = false;          // guarded by mutex_; its window is running and its calls not taken
    Clock::time_point batch_due_;         // guarded by mutex_; when the open batch's window ends
    platform::OneShotTimer batch_clock_;  // armed under mutex_; readable once the window has ended
    QSocketNotifier batch_ended_;         // watches batch_clock_
};
