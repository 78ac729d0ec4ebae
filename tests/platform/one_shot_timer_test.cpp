#include <gtest/gtest.h>

#include <poll.h>

#include "platform/one_shot_timer.h"

namespace {

// Whether the timer's descriptor turns readable within `timeout_ms`.
bool expires_within(const platform::OneShotTimer& timer, int timeout_ms) {
    pollfd entry{timer.fd(), POLLIN, 0};
    return poll(&entry, 1, timeout_ms) == 1 && (entry.revents & POLLIN) != 0;
}

TEST(OneShotTimer, ExpiresOnceUntilArmedAgain) {
    platform::OneShotTimer timer;
    EXPECT_FALSE(expires_within(timer, 0)) << "not armed";
    timer.arm(1000);
    ASSERT_TRUE(expires_within(timer, 5000));
    timer.clear();
    EXPECT_FALSE(expires_within(timer, 0)) << "cleared, and one-shot";
    timer.arm(0);  // as soon as it can: zero would disarm it
    EXPECT_TRUE(expires_within(timer, 5000));
}

TEST(OneShotTimer, ArmingReplacesTheExpiryToCome) {
    platform::OneShotTimer timer;
    timer.arm(60'000'000);
    timer.arm(1000);
    EXPECT_TRUE(expires_within(timer, 5000)) << "the sooner one holds";
    timer.clear();
    timer.arm(1000);
    timer.arm(60'000'000);
    EXPECT_FALSE(expires_within(timer, 50)) << "the later one holds";
}

}  // namespace
