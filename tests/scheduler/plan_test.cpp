#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <vector>

#include "scheduler/plan.h"

namespace {

// Minutes after Monday 2024-05-06 noon.
QDateTime at(int minutes) {
    return QDateTime(QDate(2024, 5, 6), QTime(12, 0)).addSecs(minutes * 60);
}

// A booking of peer 3 from `start` to `end` minutes, made for "Studio 3" at 10.0.0.3 unless told
// another name or host (both empty: known by its id alone).
Job booking(int start, int end, const char* name = "Studio 3", const char* address = "10.0.0.3") {
    Job made;
    made.start = at(start);
    made.end = at(end);
    made.peer = "3";
    made.peer_name = QString::fromUtf8(name);
    made.peer_address = QString::fromUtf8(address);
    return made;
}

// What a pass makes of one codec and peer: whether the call is wanted, maybe wanted (renamed at
// its own host where no list showed it), still to be made, and until when.
TEST(Plan, WeighingTheBookingsOfAPeer) {
    const QStringList listed = {"3", "Studio 3", "10.0.0.3"};
    Job had_call = booking(-10, 30);
    had_call.connected_at = at(-5);
    const struct {
        const char* name;
        std::vector<Job> bookings;
        QStringList listed;
        bool is_wanted;
        bool is_maybe_wanted;
        bool needs_call;
        QDateTime wanted_until;
    } cases[] = {
        {"open, as made", {booking(-10, 30)}, listed, true, false, true, at(30)},
        {"open, its call had", {had_call}, listed, true, false, false, at(30)},
        {"not open yet", {booking(10, 30)}, listed, false, false, false, {}},
        {"end reached", {booking(-30, 0)}, listed, false, false, false, {}},
        {"renamed at its host", {booking(-10, 30, "Old Name")}, listed, false, true, false, at(30)},
        {"another host under the id", {booking(-10, 30, "Studio 3", "10.0.0.9")}, listed, false, false, false, {}},
        {"the id not listed", {booking(-10, 30)}, {}, false, false, false, {}},
        {"known by id alone", {booking(-10, 30, "", "")}, {}, true, false, true, at(30)},
        {"the latest end of those wanting",
         {booking(-10, 30), booking(-5, 90), booking(10, 120)},
         listed,
         true,
         false,
         true,
         at(90)},
        {"one wants, one may", {had_call, booking(-10, 60, "Old Name")}, listed, true, true, false, at(60)},
    };
    for (const auto& c : cases) {
        std::vector<Job> bookings = c.bookings;
        PeerCalls calls;
        calls.key = {QUuid::createUuid(), "3"};
        calls.listed = c.listed;
        for (Job& job : bookings) calls.bookings.push_back(&job);
        weigh(calls, at(0));
        EXPECT_EQ(calls.is_wanted, c.is_wanted) << c.name;
        EXPECT_EQ(calls.is_maybe_wanted, c.is_maybe_wanted) << c.name;
        EXPECT_EQ(calls.needs_call, c.needs_call) << c.name;
        EXPECT_EQ(calls.wanted_until, c.wanted_until) << c.name;
    }
}

TEST(Plan, OnlyAWantingForcedBookingNeedsRoomOnce) {
    PeerCalls calls;
    calls.listed = QStringList{"3", "Studio 3", "10.0.0.3"};
    const struct {
        const char* name;
        bool priority;
        bool has_forced;
        int start;
        const char* peer_name;
        bool needs_room;
    } cases[] = {
        {"forced, open", true, false, -10, "Studio 3", true},
        {"forced, its room made", true, true, -10, "Studio 3", false},
        {"not forced", false, false, -10, "Studio 3", false},
        {"forced, not open yet", true, false, 10, "Studio 3", false},
        {"forced, its peer renamed", true, false, -10, "Old Name", false},
    };
    for (const auto& c : cases) {
        Job job = booking(c.start, 30, c.peer_name);
        job.priority = c.priority;
        if (c.has_forced) job.forced_at = at(-10);
        EXPECT_EQ(needsRoom(job, calls, at(0)), c.needs_room) << c.name;
    }
}

}  // namespace
