#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QTime>

#include <initializer_list>

#include "scheduler/series.h"

namespace {

// Days after Monday 2024-05-06, a week without a daylight-saving change, at `time`.
QDateTime day(int days, QTime time = QTime(10, 0)) {
    return QDateTime(QDate(2024, 5, 6).addDays(days), time);
}

// An hour from 10:00 on day 0, repeated until noon of day `last_day` (or forever).
Job series(Job::JobFrequency frequency, int last_day, bool repeats_forever = false) {
    Job job;
    job.start = day(0);
    job.end = day(0, QTime(11, 0));
    job.frequency = frequency;
    job.recurrence_end = day(last_day, QTime(12, 0));
    job.repeat_forever = repeats_forever;
    job.peer = "3";
    return job;
}

QList<QDateTime> starts(std::initializer_list<int> days) {
    QList<QDateTime> made;
    for (int d : days) made.append(day(d));
    return made;
}

// What the missed lines and the hand-on to the next occurrence rest on: the next occurrence is the
// first whose end is after now (an open window is kept), and the starts skipped on the way are
// those within the recurrence.
TEST(Series, NextOccurrenceAndTheStartsPassed) {
    const struct {
        const char* name;
        Job job;
        QDateTime now;
        int next_day;
        QList<QDateTime> passed;
        bool has_next;
    } cases[] = {
        {"inside its own window", series(Job::Daily, 30), day(0, QTime(10, 30)), 1, {}, true},
        {"two days passed unseen, the third open", series(Job::Daily, 30), day(3, QTime(10, 30)), 3, starts({1, 2}),
         true},
        {"an end reached is passed", series(Job::Daily, 30), day(3, QTime(11, 0)), 4, starts({1, 2, 3}), true},
        {"starts after the recurrence end are not listed", series(Job::Daily, 1), day(3, QTime(10, 30)), 3, starts({1}),
         false},
        {"forever outlives its recurrence end", series(Job::Daily, 1, true), day(3, QTime(10, 30)), 3, starts({1, 2}),
         true},
        {"weekly steps a week", series(Job::Weekly, 30), day(14, QTime(10, 30)), 14, starts({7}), true},
        {"weekly, before its next", series(Job::Weekly, 30), day(6), 7, {}, true},
    };
    for (const auto& c : cases) {
        QList<QDateTime> passed;
        const Job next = nextOccurrence(c.job, c.now, &passed);
        EXPECT_EQ(next.start, day(c.next_day)) << c.name;
        EXPECT_EQ(next.end, day(c.next_day, QTime(11, 0))) << c.name;
        EXPECT_EQ(passed, c.passed) << c.name;
        EXPECT_EQ(hasNextOccurrence(c.job, next), c.has_next) << c.name;
    }
}

TEST(Series, AnOccurrenceStartsAfresh) {
    Job ran = series(Job::Daily, 30);
    ran.state = Job::Running;
    ran.connected_at = day(0, QTime(10, 1));
    ran.forced_at = day(0);
    ran.wait_reason = {BookingReason::Code::kNotReady, QString(), QString()};
    const Job next = occurrenceAfter(ran, 2);
    EXPECT_EQ(next.start, day(2));
    EXPECT_EQ(next.state, Job::Waiting);
    EXPECT_FALSE(next.connected_at.isValid());
    EXPECT_FALSE(next.forced_at.isValid());
    EXPECT_TRUE(next.wait_reason.isNone());
    EXPECT_EQ(next.peer, ran.peer);
    EXPECT_EQ(next.recurrence_end, ran.recurrence_end);
}

}  // namespace
