#include "tests/support/deadline_factor.h"

#include <gtest/gtest.h>

namespace {

struct FactorCase {
    const char* text;
    int factor;  // with 4 as the fallback
};
// Only a whole number from 1 to 100 is taken: anything else would shorten or void the deadlines.
const FactorCase kFactors[] = {
    {nullptr, 4}, {"", 4}, {"1", 1}, {"8", 8}, {"100", 100}, {"0", 4}, {"-3", 4}, {"101", 4}, {"2.5", 4}, {"x", 4},
};

TEST(DeadlineFactor, OnlyAWholeNumberFromOneToAHundredIsTaken) {
    for (const FactorCase& c : kFactors) {
        EXPECT_EQ(test_support::read_deadline_factor(c.text, 4), c.factor) << (c.text ? c.text : "(unset)");
    }
}

}  // namespace
