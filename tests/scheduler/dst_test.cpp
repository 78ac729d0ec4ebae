// Daylight saving in Europe/Berlin: 2024-03-31 02:00 CET jumps to 03:00 CEST, 2024-10-27 03:00
// CEST falls back to 02:00 CET. ctest runs these with TZ=Europe/Berlin; elsewhere they skip.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QStringList>

#include <vector>

#include "scheduler/local_date_time.h"
#include "tests/scheduler/scheduler_test_fixture.h"

namespace {

bool isBerlinTime() {
    return QDateTime(QDate(2024, 1, 15), QTime(12, 0)).offsetFromUtc() == 3600 &&
           QDateTime(QDate(2024, 7, 15), QTime(12, 0)).offsetFromUtc() == 7200;
}

#define SKIP_UNLESS_BERLIN() \
    if (!isBerlinTime()) GTEST_SKIP() << "needs TZ=Europe/Berlin"

// "2024-03-31T03:30:00+02:00": the wall-clock time and the offset it was read with.
QString stamp(const QDateTime& when) {
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate);
}

TEST(Dst, LocalDateTime) {
    SKIP_UNLESS_BERLIN();
    const struct {
        QDate date;
        QTime time;
        const char* made;
    } cases[] = {
        {QDate(2024, 3, 31), QTime(1, 59), "2024-03-31T01:59:00+01:00"},
        {QDate(2024, 3, 31), QTime(2, 0), "2024-03-31T03:00:00+02:00"},  // the gap moves on by its length
        {QDate(2024, 3, 31), QTime(2, 30), "2024-03-31T03:30:00+02:00"},
        {QDate(2024, 3, 31), QTime(3, 0), "2024-03-31T03:00:00+02:00"},
        {QDate(2024, 10, 27), QTime(2, 30), "2024-10-27T02:30:00+02:00"},  // twice: the first
        {QDate(2024, 10, 27), QTime(3, 0), "2024-10-27T03:00:00+01:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stamp(localDateTime(c.date, c.time)), c.made)
            << c.date.toString().toStdString() << " " << c.time.toString().toStdString();
    }
    EXPECT_FALSE(localDateTime(QDate(), QTime(1, 0)).isValid());
}

struct DailyCase {
    const char* label;
    QDate first;
    QTime start, end;
    QDateTime from, until, reload;  // ticks every 10 s from `from` to `until`; reloads the file once at `reload`
    std::vector<const char*> connects, disconnects;
};

class DstDaily : public SchedulerFixture {};

TEST_F(DstDaily, OccurrencesKeepTheirWallClockTimes) {
    SKIP_UNLESS_BERLIN();
    const DailyCase cases[] = {
        {"02:30 runs at 03:30 on the day without 02:30, and at 02:30 again after, across a reload",
         QDate(2024, 3, 30),
         QTime(2, 30),
         QTime(3, 0),
         QDateTime(QDate(2024, 3, 30), QTime(0, 0)),
         QDateTime(QDate(2024, 4, 1), QTime(6, 0)),
         QDateTime(QDate(2024, 3, 30), QTime(12, 0)),
         {"2024-03-30T02:30:00+01:00", "2024-03-31T03:30:00+02:00", "2024-04-01T02:30:00+02:00"},
         {"2024-03-30T03:00:00+01:00", "2024-03-31T04:00:00+02:00", "2024-04-01T03:00:00+02:00"}},
        {"01:00-04:00 ends at 04:00 on the short day",
         QDate(2024, 3, 30),
         QTime(1, 0),
         QTime(4, 0),
         QDateTime(QDate(2024, 3, 30), QTime(0, 0)),
         QDateTime(QDate(2024, 3, 31), QTime(6, 0)),
         {},
         {"2024-03-30T01:00:00+01:00", "2024-03-31T01:00:00+01:00"},
         {"2024-03-30T04:00:00+01:00", "2024-03-31T04:00:00+02:00"}},
        {"02:10-02:50 connects once on the day with two 02:10s",
         QDate(2024, 10, 27),
         QTime(2, 10),
         QTime(2, 50),
         QDateTime(QDate(2024, 10, 27), QTime(0, 0)),
         QDateTime(QDate(2024, 10, 28), QTime(0, 0)),
         {},
         {"2024-10-27T02:10:00+02:00"},
         {"2024-10-27T02:50:00+02:00"}},
    };
    sessions_->codec(codec_).follows = true;
    for (const DailyCase& c : cases) {
        scheduler_ = makeScheduler();
        sessions_->sent.clear();
        Job daily = job(0, 1);
        daily.setWindow(c.first, c.start, c.first, c.end);
        daily.frequency = Job::Daily;
        daily.repeat_forever = true;
        ASSERT_TRUE(scheduler_->addJob(daily)) << c.label;
        QStringList connects, disconnects;
        for (now_ = c.from; now_ < c.until; now_ = now_.addSecs(10)) {
            if (c.reload.isValid() && now_ == c.reload) {
                ASSERT_TRUE(scheduler_->save());
                scheduler_ = makeScheduler();
                ASSERT_TRUE(scheduler_->load());
            }
            const size_t before = sessions_->sent.size();
            scheduler_->tick();
            sessions_->tellRefusals();  // the codec has read them
            for (size_t i = before; i < sessions_->sent.size(); ++i) {
                (sessions_->sent[i].startsWith("connect") ? connects : disconnects).append(stamp(now_));
            }
        }
        QStringList expected_connects, expected_disconnects;
        for (const char* when : c.connects) expected_connects.append(when);
        for (const char* when : c.disconnects) expected_disconnects.append(when);
        EXPECT_EQ(connects, expected_connects) << c.label;
        EXPECT_EQ(disconnects, expected_disconnects) << c.label;
    }
}

}  // namespace
