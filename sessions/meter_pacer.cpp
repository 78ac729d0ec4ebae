#include "sessions/meter_pacer.h"

#include <algorithm>

#include "sessions/ipc_object.h"

MeterPacer::MeterPacer(QObject* parent) : QObject(parent) {
    gapTimer_.setSingleShot(true);
    gapTimer_.setTimerType(Qt::PreciseTimer);  // a coarse one may end 5% early, inside the gap
    connect(&gapTimer_, &QTimer::timeout, this, &MeterPacer::applyChanges);
}

void MeterPacer::follow(IPCObject* session) {
    if (!session || paces_.contains(session)) return;
    // As the demand stands: a codec added while the tree is sorted by levels is sorted at once.
    const std::chrono::milliseconds wanted = wantedFor(session);
    paces_.insert(session, {session, wanted, Clock::time_point()});
    session->setMeteringInterval(static_cast<uint32_t>(wanted.count()));
    // Forgotten in the demand too: a session made later may take its address.
    connect(session, &QObject::destroyed, this, [this, session] {
        paces_.remove(session);
        drawn_.remove(session);
    });
}

void MeterPacer::setDemand(const QSet<IPCObject*>& drawn, bool isSortingByLevels) {
    // Asked at every frame, and mostly told the same.
    if (drawn == drawn_ && isSortingByLevels == isSortingByLevels_) return;
    drawn_ = drawn;
    isSortingByLevels_ = isSortingByLevels;
    for (Pace& pace : paces_) pace.wanted = wantedFor(pace.session.data());
    applyChanges();
}

std::chrono::milliseconds MeterPacer::wantedFor(IPCObject* session) const {
    if (drawn_.contains(session)) return kDrawnInterval;
    return isSortingByLevels_ ? kSortingInterval : kNoLevels;
}

void MeterPacer::applyChanges() {
    const Clock::time_point now = Clock::now();
    Clock::time_point next_gap_end = Clock::time_point::max();
    for (Pace& pace : paces_) {
        if (!pace.session) continue;
        const auto wanted_ms = static_cast<uint32_t>(pace.wanted.count());
        if (pace.session->meteringInterval() == wanted_ms) continue;
        const Clock::time_point gap_end = pace.changed + kLeastChangeGap;
        if (now < gap_end) {
            next_gap_end = std::min(next_gap_end, gap_end);
            continue;
        }
        pace.changed = now;
        pace.session->setMeteringInterval(wanted_ms);
    }
    if (next_gap_end == Clock::time_point::max()) return;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_gap_end - now);
    if (!gapTimer_.isActive() || gapTimer_.remainingTime() > wait.count()) gapTimer_.start(wait);
}
