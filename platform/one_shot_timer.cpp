#include "platform/one_shot_timer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace platform {

OneShotTimer::OneShotTimer() : fd_(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "timerfd_create");
}

OneShotTimer::~OneShotTimer() {
    close(fd_);
}

void OneShotTimer::arm(int64_t delay_us) {
    // An all-zero value would disarm it instead.
    const int64_t due_us = std::max<int64_t>(delay_us, 1);
    itimerspec expiry{};
    expiry.it_value.tv_sec = static_cast<time_t>(due_us / 1000000);
    expiry.it_value.tv_nsec = static_cast<long>(due_us % 1000000 * 1000);
    timerfd_settime(fd_, 0, &expiry, nullptr);
}

void OneShotTimer::clear() {
    uint64_t expiries;
    // EAGAIN: nothing to take.
    while (read(fd_, &expiries, sizeof expiries) < 0 && errno == EINTR) {
    }
}

}  // namespace platform
