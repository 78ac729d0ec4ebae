#include "sessions/report_freshness.h"

#include <algorithm>
#include <utility>

bool ReportFreshness::received(Figures which, Clock::time_point now) {
    Entry& entry = entries_[which];
    const bool was_stale = entry.is_stale;
    if (which == kStatistics && entry.period.count() == 0) learnOwnPeriod(entry, now);
    entry.has_report = true;
    entry.is_stale = false;
    entry.stale_at = now + liveFor(which);
    return was_stale;
}

void ReportFreshness::learnOwnPeriod(Entry& entry, Clock::time_point now) {
    const std::optional<Clock::time_point> last = std::exchange(entry.last_own_report, now);
    if (!last) return;
    const Duration gap = std::chrono::duration_cast<Duration>(now - *last);
    // By the time, not the mark: a busy GUI thread may not have marked them stale yet.
    const bool ends_stale_spell = now >= entry.stale_at;
    if (gap < kOneRound || ends_stale_spell) return;
    entry.own_period = std::clamp(gap, kLeastOwnPeriod, kMostOwnPeriod);
}

void ReportFreshness::paced(Figures which, Duration period, Clock::time_point now) {
    Entry& entry = entries_[which];
    // A gap that spans the change is of neither pace.
    if (period != entry.period) entry.last_own_report.reset();
    entry.period = period;
    entry.is_asked = which != kLevels || period.count() > 0;
    if (!entry.is_asked) {
        entry.is_stale = false;
        return;
    }
    // Figures already stale stay so until a report comes.
    if (entry.has_report && !entry.is_stale) entry.stale_at = std::max(entry.stale_at, now + liveFor(which));
}

ReportFreshness::Duration ReportFreshness::liveFor(Figures which) const {
    const Duration period = entries_[which].period;
    if (which == kLevels) return std::max(kLeastLevelsAge, 2 * period);
    if (period.count() > 0) return 2 * period;
    const Duration learned = entries_[which].own_period;
    return 2 * (learned.count() > 0 ? learned : kMostOwnPeriod);
}

void ReportFreshness::update(Clock::time_point now) {
    for (Entry& entry : entries_) {
        if (isWatched(entry) && now >= entry.stale_at) entry.is_stale = true;
    }
}

std::optional<ReportFreshness::Clock::time_point> ReportFreshness::nextStaleAt() const {
    std::optional<Clock::time_point> next;
    for (const Entry& entry : entries_) {
        if (isWatched(entry) && (!next || entry.stale_at < *next)) next = entry.stale_at;
    }
    return next;
}

void ReportFreshness::forget() {
    for (Entry& entry : entries_) {
        entry.has_report = false;
        entry.is_stale = false;
        entry.last_own_report.reset();
        entry.own_period = Duration{0};
    }
}
