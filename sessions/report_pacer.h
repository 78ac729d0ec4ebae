#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <chrono>

#include "sessions/ipc_object.h"

// Decides how often each codec reports what the views show of it, from what they show now.
//
// Levels: every kDrawnInterval while some view draws them, every kSortingInterval while a view
// sorts the fleet by its levels, and not at all otherwise. At a laptop's size a score of 256
// codecs has a meter on screen; levels that no meter draws would only cost the program their
// parsing (a meter that comes into sight gets its codec's first report within a frame or two of
// asking). Each session sends its codec the interval (IPCObject::setMeteringInterval) as far as
// the operator's metering switch lets it, which the pacer never touches.
//
// Statistics (the peer, channel and tunnel statistics and the tunnel's connections): at the
// codec's own pace while some view shows them (a summary-tree row in sight, the details dock's
// codec) or a view sorts the fleet by one of them, and every kUnseenStatisticsInterval otherwise.
// Those slow reports keep every codec's graph history and tunnel model filled, so that a codec
// opened in the dock shows its recent past at once (IPCObject::setStatisticsInterval).
//
// The views say what they show (setDemand); the pacer decides. A fast scroll through the tiles
// passes every codec in a second. So that no codec is sent a storm of changes, a codec's intervals
// change at most once per kLeastChangeGap: a change that comes sooner waits until the gap has
// passed, and is dropped if the views change back meanwhile.
//
// Threads: GUI thread only.
class ReportPacer : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDrawnInterval{IPCObject::kMeterIntervalMs};
    static constexpr std::chrono::milliseconds kSortingInterval{1000};
    static constexpr std::chrono::milliseconds kNoLevels{0};
    static constexpr std::chrono::milliseconds kOwnPace{0};
    static constexpr std::chrono::milliseconds kUnseenStatisticsInterval{5000};
    static constexpr std::chrono::milliseconds kLeastChangeGap{250};

    // What the views show now.
    struct Demand {
        QSet<IPCObject*> levelsDrawn;        // sessions whose levels some view draws
        bool isSortingByLevels = false;      // a view sorts every codec by its levels
        QSet<IPCObject*> statisticsShown;    // sessions whose statistics some view shows
        bool isSortingByStatistics = false;  // a view sorts every codec by a statistics figure

        bool operator==(const Demand& other) const;
    };

    explicit ReportPacer(QObject* parent = nullptr);

    // From now on the pacer decides the session's intervals, starting with what the demand last
    // set calls for. It forgets the session when it is deleted.
    void follow(IPCObject* session);
    void setDemand(const Demand& demand);

private:
    struct Intervals {
        std::chrono::milliseconds levels;
        std::chrono::milliseconds statistics;
    };
    struct Pace {
        QPointer<IPCObject> session;
        Intervals wanted;           // what the views call for now
        Clock::time_point changed;  // when the session's intervals last changed; never: epoch
    };

    // What the demand last set calls for from `session`.
    Intervals wantedFor(IPCObject* session) const;
    static bool isAsked(const IPCObject& session, const Intervals& intervals);
    static void ask(IPCObject& session, const Intervals& intervals);
    // Gives each session the intervals it wants where its gap has passed, and waits for the first
    // gap still running.
    void applyChanges();

    QHash<const IPCObject*, Pace> paces_;  // every followed session, until it is deleted
    Demand demand_;                        // the demand last set
    QTimer gapTimer_;                      // single shot: runs until the first waiting change may go
};
