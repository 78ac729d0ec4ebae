#include <gtest/gtest.h>

#include "scheduler/job.h"

namespace {

TEST(Job, FrequencyNamesAreExact) {
    const struct {
        const char* name;
        Job::JobFrequency frequency;
    } cases[] = {{"daily", Job::Daily}, {"weekly", Job::Weekly}, {"none", Job::Once},
                 {"", Job::Once},       {"Daily", Job::Once},    {"weekly ", Job::Once}};
    for (const auto& c : cases) EXPECT_EQ(Job::frequencyFromName(QString::fromUtf8(c.name)), c.frequency) << c.name;
}

TEST(Job, OnlyPlainNumbersArePeerIds) {
    const struct {
        const char* peer;
        bool is_peer_id;
    } cases[] = {{"7", true},    {"0", true},   {"2147483647", true}, {"2147483648", false}, {"", false},
                 {"4-1", false}, {"-3", false}, {"+3", false},        {" 3", false},         {"x7", false}};
    for (const auto& c : cases) EXPECT_EQ(Job::isPeerId(QString::fromUtf8(c.peer)), c.is_peer_id) << c.peer;
}

}  // namespace
