#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "sessions/report_freshness.h"

class IPCObject;

// Marks the figures that stopped coming as stale, for every session, on one timer. With a timer of
// its own each session restarted it about once a second, and every start sorts the timer into the
// GUI thread's list of them: at a fleet's size that was the busiest thing a minimised window did.
//
// The timer runs until the earliest moment some session's figures are due to turn stale, rounded
// up to kGrain so that sessions due close together share a wake-up; then every session is checked,
// and the timer waits for the next earliest. A report only moves its session's moment later, which
// the sweep finds when it comes to it, so a session tells of a moment (due()) that may be earlier
// than the one the timer waits for, and that costs a comparison.
//
// Threads: GUI thread only, as the freshness of the sessions it serves.
class FreshnessSweep : public QObject, public std::enable_shared_from_this<FreshnessSweep> {
public:
    using Clock = ReportFreshness::Clock;
    static constexpr std::chrono::milliseconds kGrain{100};

    // The sweep every session shares: made by the first that asks, gone with the last.
    static std::shared_ptr<FreshnessSweep> shared();

    void join(IPCObject& session);
    void leave(IPCObject& session);
    // Figures of a joined session turn stale at `at` unless a report comes first.
    void due(Clock::time_point at);

private:
    FreshnessSweep();

    void sweep();

    // Not owned: each session leaves before it goes. Null where one left during a sweep.
    std::vector<IPCObject*> sessions_;
    bool isSweeping_ = false;
    QTimer timer_;                             // single shot, until wakeAt_
    std::optional<Clock::time_point> wakeAt_;  // while the timer runs
};
