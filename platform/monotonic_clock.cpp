#include "platform/monotonic_clock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

namespace platform {

namespace {

// About 12.7 days: longer than any time-out, delay or idle limit the program compares against.
constexpr int64_t kOriginShiftUs = int64_t{1} << 40;

}  // namespace

int64_t monotonic_us() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return kOriginShiftUs + int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
}

void sleep_ms(int64_t milliseconds) {
    const int64_t clamped = std::clamp<int64_t>(milliseconds, 0, INT32_MAX);
    timespec remaining{static_cast<time_t>(clamped / 1000), static_cast<long>(clamped % 1000) * 1000000};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
