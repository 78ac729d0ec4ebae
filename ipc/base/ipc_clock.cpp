#include "ipc/base/ipc_clock.h"

#include "platform/monotonic_clock.h"

int64_t ipc_now_us() {
    return platform::monotonic_us();
}

void ipc_sleep_until_us(const int64_t& deadline_us) {
    const int64_t now = ipc_now_us();
    if (deadline_us > now) platform::sleep_ms((deadline_us - now) / 1000);
}

void ipc_sleep_us(const int64_t& duration_us) {
    platform::sleep_ms(duration_us / 1000);
}
