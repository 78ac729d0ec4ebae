#include <gtest/gtest.h>

#include <future>

#include "ipc/base/ipc_clock.h"
#include "tests/support/deadline_factor.h"

namespace {

// A day ago: a sleep that took the time's size instead would not return for a day.
TEST(Clock, SleepUntilAPastDeadlineReturnsAtOnce) {
    auto sleep = std::async(std::launch::async, [] { ipc_sleep_until_us(ipc_now_us() - int64_t{86400} * 1000000); });
    EXPECT_EQ(sleep.wait_for(test_support::give_up_after(std::chrono::seconds(10))), std::future_status::ready);
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
