#include "sessions/meter_pacer.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QUuid>

#include "tests/support/unplaced_session.h"

namespace {

struct FollowCase {
    const char* name;
    bool isDrawnBeforeFollow;  // the demand names the session's address before it is followed
    bool isSortingByLevels;
    uint32_t interval_ms;  // what a session followed after that demand is asked for
};
const FollowCase kFollowCases[] = {
    {"unseen", false, false, 0},
    // A codec added while the tree is sorted by its levels is sorted among the others at once.
    {"unseen while sorted by levels", false, true, 1000},
    {"drawn before it was followed", true, false, 67},
};

TEST(MeterPacer, ASessionFollowedLateIsAskedAsTheDemandStands) {
    for (const FollowCase& c : kFollowCases) {
        SCOPED_TRACE(c.name);
        MeterPacer pacer;
        test_support::UnplacedSession session(QStringLiteral("late"), QUuid::createUuid());
        pacer.setDemand(c.isDrawnBeforeFollow ? QSet<IPCObject*>{&session} : QSet<IPCObject*>{}, c.isSortingByLevels);
        pacer.follow(&session);
        EXPECT_EQ(session.meteringInterval(), c.interval_ms);
    }
}

}  // namespace
