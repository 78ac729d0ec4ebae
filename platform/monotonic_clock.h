#pragma once

#include <cstdint>

namespace platform {

// Microseconds on CLOCK_MONOTONIC, shifted forward by a constant so that a time stamp of 0 always
// lies far in the past: code that starts a "last activity" field at 0 sees it as long ago even right
// after the machine has booted. Never decreases; never wall-clock time.
int64_t monotonic_us();

// Sleeps for the given number of milliseconds, clamped to [0, INT32_MAX]; EINTR resumes the sleep.
void sleep_ms(int64_t milliseconds);

}  // namespace platform
