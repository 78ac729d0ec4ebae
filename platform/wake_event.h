#pragma once

namespace platform {

// A wake-up signal for a loop blocked in ReadinessPoller::wait, on an eventfd. Any thread may call
// signal(); the loop drains it right after each wait, so several signals before one wait count as one.
class WakeEvent {
public:
    WakeEvent();  // throws std::system_error when no eventfd can be made
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    void signal();
    void drain();
    // Waits at most timeout_ms for a signal, on this descriptor alone; true when one came.
    bool wait(int timeout_ms);
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace platform
