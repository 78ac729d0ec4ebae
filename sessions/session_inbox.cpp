#include "sessions/session_inbox.h"

#include <algorithm>

std::shared_ptr<SessionInbox> SessionInbox::for_current_thread() {
    thread_local std::weak_ptr<SessionInbox> current;
    std::shared_ptr<SessionInbox> inbox = current.lock();
    if (!inbox) {
        inbox.reset(new SessionInbox(), [](SessionInbox* orphan) {
            if (orphan->is_delivering_) {
                orphan->deleteLater();
            } else {
                delete orphan;
            }
        });
        current = inbox;
    }
    return inbox;
}

SessionInbox::SessionInbox() : batch_ended_(batch_clock_.fd(), QSocketNotifier::Read) {
    connect(&batch_ended_, &QSocketNotifier::activated, this, &SessionInbox::deliver_batch);
}

SessionInbox::~SessionInbox() = default;

void SessionInbox::post(QObject* receiver, int method_index, std::shared_ptr<const void> argument, Delivery delivery) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (delivery == Delivery::kNewestOnly) {
        const CallKind kind(receiver, method_index);
        const auto queued = newest_.find(kind);
        if (queued != newest_.end()) {
            *queued = std::move(argument);
            return;  // its batch is open
        }
        newest_.insert(kind, std::move(argument));
        argument = nullptr;  // taken from newest_ when the call is made
    }
    calls_.push_back(Call{receiver, method_index, std::move(argument), delivery});
    open_batch(window_of(delivery));
}

std::chrono::milliseconds SessionInbox::window_of(Delivery delivery) {
    return delivery == Delivery::kData ? kDataWindowMs : kPromptWindowMs;
}

void SessionInbox::open_batch(std::chrono::milliseconds window) {
    const Clock::time_point now = Clock::now();
    const Clock::time_point due = now + window;
    if (is_batch_open_ && batch_due_ <= due) return;
    is_batch_open_ = true;
    batch_due_ = due;
    batch_clock_.arm(std::chrono::duration_cast<std::chrono::microseconds>(due - now).count());
}

template <class Matches>
void SessionInbox::remove_calls(const QObject* receiver, Matches matches) {
    calls_.erase(std::remove_if(calls_.begin(), calls_.end(),
                                [&](const Call& call) {
                                    if (call.receiver != receiver || !matches(call)) return false;
                                    if (call.delivery == Delivery::kNewestOnly) {
                                        newest_.remove(CallKind(receiver, call.method_index));
                                    }
                                    return true;
                                }),
                 calls_.end());
}

void SessionInbox::forget(const QObject* receiver) {
    std::lock_guard<std::mutex> lock(mutex_);
    remove_calls(receiver, [](const Call&) { return true; });
}

void SessionInbox::forget_data(const QObject* receiver) {
    std::lock_guard<std::mutex> lock(mutex_);
    remove_calls(receiver, [](const Call& call) { return call.delivery != Delivery::kInOrder; });
}

void SessionInbox::deliver_batch() {
    batch_clock_.clear();
    size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        is_batch_open_ = false;
        count = calls_.size();
    }
    // One call at a time: a call may delete a session, whose later calls forget() then removes.
    is_delivering_ = true;
    Call call;
    for (; count > 0 && take_next(call); --count) {
        void* arguments[] = {nullptr, const_cast<void*>(call.argument.get())};
        QMetaObject::metacall(call.receiver, QMetaObject::InvokeMetaMethod, call.method_index, arguments);
    }
    is_delivering_ = false;
}

bool SessionInbox::take_next(Call& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (calls_.empty()) return false;
    call = std::move(calls_.front());
    calls_.pop_front();
    if (call.delivery == Delivery::kNewestOnly)
        call.argument = newest_.take(CallKind(call.receiver, call.method_index));
    return true;
}
