#include <gtest/gtest.h>

#include "ipc/base/ipc_clock.h"

namespace {

TEST(Clock, SleepUntilAPastDeadlineReturnsAtOnce) {
    const int64_t now = ipc_now_us();
    ipc_sleep_until_us(now - 5000000);
    EXPECT_LT(ipc_now_us() - now, 1000000);
}

TEST(Clock, SleepUntilWaitsForTheDeadline) {
    const int64_t deadline = ipc_now_us() + 20000;
    ipc_sleep_until_us(deadline);
    EXPECT_GE(ipc_now_us(), deadline - 1000);  // whole milliseconds: at most 1 ms short
}

TEST(Clock, SleepForAFewMilliseconds) {
    const int64_t before = ipc_now_us();
    ipc_sleep_us(10000);
    EXPECT_GE(ipc_now_us() - before, 10000);
}

}  // namespace
