#include <gtest/gtest.h>

#include <future>

#include "platform/monotonic_clock.h"
#include "tests/support/deadline_factor.h"

namespace {

TEST(MonotonicClock, ZeroStampIsLongAgo) {
    // Idle and reconnect logic treats a never-set stamp (0) as "long ago": more than a day.
    EXPECT_GT(platform::monotonic_us(), int64_t{86400} * 1000000);
}

TEST(MonotonicClock, NeverDecreases) {
    int64_t previous = platform::monotonic_us();
    for (int i = 0; i < 100000; ++i) {
        const int64_t now = platform::monotonic_us();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

// Minus a day: a sleep that took the time's size instead would not return for a day.
TEST(MonotonicClock, NegativeSleepReturnsAtOnce) {
    auto sleep = std::async(std::launch::async, [] { platform::sleep_ms(-int64_t{86400} * 1000); });
    EXPECT_EQ(sleep.wait_for(test_support::give_up_after(std::chrono::seconds(10))), std::future_status::ready);
}

}  // namespace
