#include <gtest/gtest.h>

#include "platform/monotonic_clock.h"

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

TEST(MonotonicClock, NegativeSleepReturnsAtOnce) {
    const int64_t before = platform::monotonic_us();
    platform::sleep_ms(-5000);
    EXPECT_LT(platform::monotonic_us() - before, int64_t{1000000});
}

}  // namespace
