#include "sessions/report_freshness.h"

#include <algorithm>
#include <utility>

bool ReportFreshness::received(Figures which, Clock::time_point now) {
    Entry& entry = entries_[which];
    const bool was_stale = entry.is_stale;
    if (which == kStatistics) learnPeriod(entry, now);
    entry.has_report = true;
    entry.is_stale = false;
    entry.stale_at = now + liveFor(which);
    return was_stale;
}

void ReportFreshness::learnPeriod(Entry& entry, Clock::time_point now) {
    const std::optional<Clock::time_point> last = std::exchange(entry.last_report, now);
    if (!last) return;
    const Duration gap = std::chrono::duration_cast<Duration>(now - *last);
    if (gap < kOneRound) return;
    // By the time, not the mark: a busy GUI thread may not have marked them stale yet.
    if (now >= entry.stale_at) {
        const std::optional<Duration> last_stall = std::exchange(entry.stalled_gap, gap);
        const bool is_pace = last_stall && 4 * std::chrono::abs(gap - *last_stall) <= std::max(gap, *last_stall);
        if (!is_pace) return;
    }
    entry.stalled_gap.reset();
    if (entry.period.count() == 0) {
        entry.own_period = std::clamp(gap, kLeastOwnPeriod, kMostOwnPeriod);
    } else {
        entry.kept_period = std::min(gap, kMostOwnPeriod);  // the interval holds as the least (liveFor)
    }
}

void ReportFreshness::paced(Figures which, Duration period, Clock::time_point now) {
    Entry& entry = entries_[which];
    // A gap that spans the change is of neither pace.
    if (period != entry.period) {
        entry.last_report.reset();
        entry.stalled_gap.reset();
    }
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
    if (period.count() > 0) return 2 * std::max(period, entries_[which].kept_period);
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
        // What the last connection reported stays on screen, but is no longer live: stale until
        // this one reports it.
        entry.is_stale = entry.is_stale || (entry.has_report && entry.is_asked);
        entry.has_report = false;
        entry.last_report.reset();
        entry.stalled_gap.reset();
        entry.own_period = Duration{0};
        entry.kept_period = Duration{0};
    }
}
