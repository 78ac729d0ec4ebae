#include "sessions/report_pacer.h"

#include <algorithm>

bool ReportPacer::Demand::operator==(const Demand& other) const {
    return levelsDrawn == other.levelsDrawn && isSortingByLevels == other.isSortingByLevels &&
           statisticsShown == other.statisticsShown && isSortingByStatistics == other.isSortingByStatistics;
}

ReportPacer::ReportPacer(QObject* parent) : QObject(parent) {
    gapTimer_.setSingleShot(true);
    gapTimer_.setTimerType(Qt::PreciseTimer);  // a coarse one may end 5% early, inside the gap
    connect(&gapTimer_, &QTimer::timeout, this, &ReportPacer::applyChanges);
}

void ReportPacer::follow(IPCObject* session) {
    if (!session || paces_.contains(session)) return;
    // As the demand stands: a codec added while the tree is sorted is sorted at once.
    const Intervals wanted = wantedFor(session);
    paces_.insert(session, {session, wanted, Clock::time_point()});
    ask(*session, wanted);
    // Forgotten in the demand too: a session made later may take its address.
    connect(session, &QObject::destroyed, this, [this, session] {
        paces_.remove(session);
        demand_.levelsDrawn.remove(session);
        demand_.statisticsShown.remove(session);
    });
}

void ReportPacer::setDemand(const Demand& demand) {
    // Asked at every frame, and mostly told the same.
    if (demand == demand_) return;
    demand_ = demand;
    for (Pace& pace : paces_) pace.wanted = wantedFor(pace.session.data());
    applyChanges();
}

ReportPacer::Intervals ReportPacer::wantedFor(IPCObject* session) const {
    Intervals wanted{kNoLevels, kUnseenStatisticsInterval};
    if (demand_.levelsDrawn.contains(session)) {
        wanted.levels = kDrawnInterval;
    } else if (demand_.isSortingByLevels) {
        wanted.levels = kSortingInterval;
    }
    if (demand_.isSortingByStatistics || demand_.statisticsShown.contains(session)) wanted.statistics = kOwnPace;
    return wanted;
}

bool ReportPacer::isAsked(const IPCObject& session, const Intervals& intervals) {
    return session.meteringInterval() == static_cast<uint32_t>(intervals.levels.count()) &&
           session.statisticsInterval() == static_cast<uint32_t>(intervals.statistics.count());
}

void ReportPacer::ask(IPCObject& session, const Intervals& intervals) {
    session.setMeteringInterval(static_cast<uint32_t>(intervals.levels.count()));
    session.setStatisticsInterval(static_cast<uint32_t>(intervals.statistics.count()));
}

void ReportPacer::applyChanges() {
    const Clock::time_point now = Clock::now();
    Clock::time_point next_gap_end = Clock::time_point::max();
    for (Pace& pace : paces_) {
        if (!pace.session || isAsked(*pace.session, pace.wanted)) continue;
        const Clock::time_point gap_end = pace.changed + kLeastChangeGap;
        if (now < gap_end) {
            next_gap_end = std::min(next_gap_end, gap_end);
            continue;
        }
        pace.changed = now;
        ask(*pace.session, pace.wanted);
    }
    if (next_gap_end == Clock::time_point::max()) return;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_gap_end - now);
    if (!gapTimer_.isActive() || gapTimer_.remainingTime() > wait.count()) gapTimer_.start(wait);
}
