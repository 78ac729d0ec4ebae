#include <gtest/gtest.h>

#include "platform/monotonic_clock.h"
#include "tests/support/wait_until.h"

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
    EXPECT_TRUE(test_support::returns_by([] { platform::sleep_ms(-int64_t{86400} * 1000); }));
}

}  // namespace
