#pragma once

#include <cstdint>

namespace platform {

// A timer whose expiry makes a descriptor readable, for a loop that watches descriptors: a
// timerfd on the monotonic clock. Any thread may arm it; the loop clears it once it has seen it
// expire. Arming it costs one system call, whatever else the loop's thread has on its clock.
class OneShotTimer {
public:
    OneShotTimer();  // throws std::system_error when no timerfd can be made
    ~OneShotTimer();
    OneShotTimer(const OneShotTimer&) = delete;
    OneShotTimer& operator=(const OneShotTimer&) = delete;

    // Expires `delay_us` microseconds from now (at least one), replacing any expiry still to come.
    void arm(int64_t delay_us);
    // Takes an expiry off the descriptor, which then reads as not ready until the next one.
    void clear();
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace platform
