#include "tests/support/deadline_factor.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using test_support::read_deadline_factor;

// Only a whole number from 1 to 100 is taken; anything else would shorten or void the deadlines.
TEST(DeadlineFactor, OnlyAWholeNumberFromOneToAHundredIsTaken) {
    for (const auto& [text, factor] : {std::pair{"1", 1}, {"8", 8}, {"100", 100}}) {
        EXPECT_EQ(read_deadline_factor(text, 4), factor) << text;
    }
    const char* const refused[] = {nullptr, "", "0", "-3", "101", "2.5", "x"};  // each gives the fallback, 4
    for (const char* text : refused) EXPECT_EQ(read_deadline_factor(text, 4), 4) << (text ? text : "(unset)");
}

}  // namespace
