#include <gtest/gtest.h>

#include "ipc/message.h"
#include "scheduler/job.h"

namespace {

TEST(Job, FrequencyNamesAreExact) {
    const struct {
        const char* name;
        Job::JobFrequency frequency;
    } cases[] = {{"daily", Job::Daily}, {"weekly", Job::Weekly}, {"none", Job::Once}, {"", Job::Once},
                 {"Daily", Job::Once}, {"weekly ", Job::Once}};
    for (const auto& c : cases) EXPECT_EQ(Job::frequencyFromName(QString::fromUtf8(c.name)), c.frequency) << c.name;
}

TEST(Job, OnlyPlainNumbersArePeerIds) {
    const struct {
        const char* peer;
        bool is_peer_id;
    } cases[] = {{"7", true},   {"0", true},   {"2147483647", true}, {"2147483648", false}, {"", false},
                 {"4-1", false}, {"-3", false}, {"+3", false},        {" 3", false},         {"x7", false}};
    for (const auto& c : cases) EXPECT_EQ(Job::isPeerId(QString::fromUtf8(c.peer)), c.is_peer_id) << c.peer;
}

TEST(Job, DateTextIsEnglishAndReadsBack) {
    EXPECT_EQ(Job::dateText(QDate(2024, 4, 1), QTime(2, 30)), "Mon Apr 1 02:30:00 2024");
    QDate date;
    QTime time;
    ASSERT_TRUE(Job::parseDateText("Mon Apr 1 02:30:00 2024", date, time));
    EXPECT_EQ(date, QDate(2024, 4, 1));
    EXPECT_EQ(time, QTime(2, 30));
    for (const char* bad : {"", "Mo. Apr. 1 02:30:00 2024", "Mon Apr 1 2024", "Mon Apr 1 25:00:00 2024"}) {
        EXPECT_FALSE(Job::parseDateText(QString::fromUtf8(bad), date, time)) << bad;
    }
}

TEST(Job, MissingAttributesGiveDefaults) {
    Message element;
    element.set_name("job");
    element.attributes().set("peer", "5");
    element.attributes().set("start", "Mon Apr 1 02:30:00 2024");
    Job job;
    job.id = 9;
    job.fromMessage(element);
    EXPECT_EQ(job.start, QDateTime(QDate(2024, 4, 1), QTime(2, 30)));
    EXPECT_FALSE(job.end.isValid());
    EXPECT_FALSE(job.recurrence_end.isValid());
    EXPECT_EQ(job.frequency, Job::Once);
    EXPECT_FALSE(job.priority);
    EXPECT_EQ(job.peer, "5");
    EXPECT_EQ(job.id, 9);
}

}  // namespace
