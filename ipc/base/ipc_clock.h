#pragma once

#include <cstdint>

// One process-wide line of microseconds on which every time stamp, idle time, time-out, reconnect
// delay and timer interval of the library is measured. Only ever compared and subtracted; a stamp
// of 0 always lies long in the past.
int64_t ipc_now_us();

// Sleeps until the deadline (same time line) in whole milliseconds; returns at once when the
// deadline is now or past.
void ipc_sleep_until_us(const int64_t& deadline_us);

// Sleeps for the duration in whole milliseconds (truncated; negative durations do not sleep).
void ipc_sleep_us(const int64_t& duration_us);
