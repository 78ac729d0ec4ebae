#include "sessions/report_pacer.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QUuid>

#include <chrono>

#include "tests/support/qt_wait.h"
#include "tests/support/unplaced_session.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kFast = ReportPacer::kDrawnInterval.count();
constexpr uint32_t kSortingLevels = ReportPacer::kSortingInterval.count();
constexpr uint32_t kOwnPace = ReportPacer::kOwnPace.count();
constexpr uint32_t kUnseen = ReportPacer::kUnseenStatisticsInterval.count();

struct FollowCase {
    const char* name;
    bool isDrawn;  // the demand names the session's address before it is followed
    bool isSortingByLevels;
    bool isShown;
    bool isSortingByStatistics;
    uint32_t levels_ms;  // what a session followed after that demand is asked for
    uint32_t statistics_ms;
};
const FollowCase kFollowCases[] = {
    {"unseen", false, false, false, false, 0, kUnseen},
    // A codec added while the tree is sorted is sorted among the others at once.
    {"unseen while sorted by levels", false, true, false, false, kSortingLevels, kUnseen},
    {"unseen while sorted by a statistics column", false, false, false, true, 0, kOwnPace},
    {"drawn before it was followed", true, false, false, false, kFast, kUnseen},
    {"its statistics shown before it was followed", false, false, true, false, 0, kOwnPace},
    {"drawn and shown", true, true, true, true, kFast, kOwnPace},
};

TEST(ReportPacer, ASessionFollowedLateIsAskedAsTheDemandStands) {
    for (const FollowCase& c : kFollowCases) {
        SCOPED_TRACE(c.name);
        ReportPacer pacer;
        test_support::UnplacedSession session(QStringLiteral("late"), QUuid::createUuid());
        ReportPacer::Demand demand;
        if (c.isDrawn) demand.levelsDrawn.insert(&session);
        demand.isSortingByLevels = c.isSortingByLevels;
        if (c.isShown) demand.statisticsShown.insert(&session);
        demand.isSortingByStatistics = c.isSortingByStatistics;
        pacer.setDemand(demand);
        pacer.follow(&session);
        EXPECT_EQ(session.meteringInterval(), c.levels_ms);
        EXPECT_EQ(session.statisticsInterval(), c.statistics_ms);
    }
}

// Shown, then out of sight at once: the statistics slow down only once the gap since the last
// change has passed, and the levels' change in between waits with them.
TEST(ReportPacer, ACodecsIntervalsChangeAtMostOncePerGap) {
    ReportPacer pacer;
    test_support::UnplacedSession session(QStringLiteral("scrolled"), QUuid::createUuid());
    pacer.follow(&session);
    ReportPacer::Demand shown;
    shown.statisticsShown.insert(&session);
    const Clock::time_point changed = Clock::now();
    pacer.setDemand(shown);
    ASSERT_EQ(session.statisticsInterval(), kOwnPace) << "the first change goes at once";

    ReportPacer::Demand drawnOnly;
    drawnOnly.levelsDrawn.insert(&session);
    pacer.setDemand(drawnOnly);
    ASSERT_TRUE(test_support::wait_processing_events([&] { return session.statisticsInterval() == kUnseen; }));
    EXPECT_GE(Clock::now() - changed, ReportPacer::kLeastChangeGap);
    EXPECT_EQ(session.meteringInterval(), kFast);
}

}  // namespace
