#pragma once

#include <array>
#include <chrono>
#include <optional>

// Whether a session's newest levels and statistics are still live: a link that stalls keeps the
// last values, which would otherwise read as current. Levels are stale after about a second
// without one (kLeastLevelsAge), or two of their periods when they are asked for more slowly;
// statistics after two of their periods. The period is the one the codec was asked for. For
// statistics it reports at its own pace, it is learned from the gaps between its reports while
// they are live, within kLeastOwnPeriod and kMostOwnPeriod: a gap that ends a stale spell is a
// stall, unless the last gap that ended one was about as long (within a quarter), which is a pace
// slower than the one taken. Reports closer together than kOneRound are one round, not a pace: peer
// and channel statistics come together, and so do the reports a stall held back. Until a gap is
// learned on a connection the pace is taken as the slowest a codec may keep (kMostOwnPeriod): a
// codec that reports every minute is never called stale for want of a report it was not due to
// send, and a stall shows within two minutes. A change of pace gives the figures that long from
// the change: the codec's next report comes at the new pace. Statistics asked for at an interval
// may still come at a codec's own slower pace, whatever it is asked: that pace is learned from the
// gaps under an interval alike, apart from the codec's own, and the figures are live for two of
// the slower of it and the interval.
//
// Figures that never came are not called stale: a codec may not send them at all. Those the last
// connection left are stale until this one reports them: they are still shown, and not current.
// Levels not asked for are not stale either: no meter draws them.
//
// Threads: none of its own; the session keeps it on the GUI thread.
class ReportFreshness {
public:
    using Clock = std::chrono::steady_clock;
    using Duration = std::chrono::milliseconds;

    enum Figures { kLevels, kStatistics };
    static constexpr Duration kLeastLevelsAge{1000};
    // The bounds of the pace learned for statistics a codec reports when it chooses (the interval 0).
    static constexpr Duration kLeastOwnPeriod{1000};
    static constexpr Duration kMostOwnPeriod{60000};
    static constexpr Duration kOneRound{kLeastOwnPeriod / 2};

    // A report of `which` came at `now`. True when the figures were stale and are live again.
    bool received(Figures which, Clock::time_point now);
    // The codec is asked for `which` every `period` from `now`; 0 for statistics is the codec's
    // own pace, 0 for levels is none.
    void paced(Figures which, Duration period, Clock::time_point now);
    bool isStale(Figures which) const { return entries_[which].is_stale; }
    // Marks stale what has passed its time.
    void update(Clock::time_point now);
    // When the next live figures turn stale; none while nothing is live.
    std::optional<Clock::time_point> nextStaleAt() const;
    // A new connection: nothing came on it yet, and what came before is stale.
    void forget();

private:
    struct Entry {
        bool has_report = false;  // on this connection
        bool is_stale = false;
        bool is_asked = true;
        Clock::time_point stale_at;
        Duration period{0};  // as asked; see paced()
        // Statistics: the last report under the pace asked now on this connection, if any, the
        // last gap that ended a stale spell since, and the paces learned from the gaps between
        // reports at the codec's own pace and under an interval (zero: none learned yet).
        std::optional<Clock::time_point> last_report;
        std::optional<Duration> stalled_gap;
        Duration own_period{0};
        Duration kept_period{0};
    };

    // Learns the pace of the codec's statistics from a report at `now`.
    static void learnPeriod(Entry& entry, Clock::time_point now);

    // How long figures of `which` stay live after a report, at the pace asked for.
    Duration liveFor(Figures which) const;
    bool isWatched(const Entry& entry) const { return entry.has_report && entry.is_asked && !entry.is_stale; }

    std::array<Entry, 2> entries_;
};
