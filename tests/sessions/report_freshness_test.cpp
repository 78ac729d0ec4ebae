#include "sessions/report_freshness.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

using std::chrono::milliseconds;

// In a case's earlier reports: the link was lost and made anew (ReportFreshness::forget).
constexpr int kReconnect = INT_MIN;
constexpr ReportFreshness::Figures kStats = ReportFreshness::kStatistics;

struct FreshnessCase {
    const char* name;
    ReportFreshness::Figures which;
    int asked_ms;    // the pace asked for before the report at 0
    int repaced_at;  // ms; -1: the pace stays
    int repaced_ms;  // the pace asked for from then on
    int live_until;  // ms: live at this moment, stale 1 ms later; -1: never stale
    std::vector<int> earlier_reports_ms = {};
};

// The paces ReportPacer asks for: levels 67 ms, 1 s or none; statistics the codec's own (0) or 5 s.
const FreshnessCase kCases[] = {
    {"levels while drawn: about a second", ReportFreshness::kLevels, 67, -1, 0, 999},
    {"levels while sorted: two periods", ReportFreshness::kLevels, 1000, -1, 0, 1999},
    {"levels no longer asked for", ReportFreshness::kLevels, 67, 500, 0, -1},
    {"statistics at the codec's unlearned pace: two of the slowest", ReportFreshness::kStatistics, 0, -1, 0, 119999},
    {"statistics unseen", ReportFreshness::kStatistics, 5000, -1, 0, 9999},
    {"statistics slowed: two new periods from the change", ReportFreshness::kStatistics, 0, 1500, 5000, 11499, {-1000}},
    {"statistics quickened: the slowest own pace from the change", ReportFreshness::kStatistics, 5000, 1500, 0, 121499},
    // Learned from the gaps at its own pace; a stall, and the burst it held back, teach nothing.
    {"statistics at its own 3-s pace", ReportFreshness::kStatistics, 0, -1, 0, 5999, {-16000, -13000, -10}},
    // Two like gaps that each end a stale spell are a pace: a codec's own, slower than it was asked
    // or than it was; one alone is a stall.
    {"asked every 5 s, keeps its own 30-s pace", kStats, 5000, -1, 0, 59999, {-60000, -30000}},
    {"asked every 5 s, one stall of 30 s", kStats, 5000, -1, 0, 9999, {-35000, -30000}},
    {"own pace slowed from 3 s to 30 s", kStats, 0, -1, 0, 59999, {-66000, -63000, -60000, -30000}},
    // A new connection learns afresh; the last one's figures are stale until its first report.
    {"30-s pace, once since a reconnect", kStats, 0, -1, 0, 119999, {-100000, -70000, kReconnect}},
    {"30-s pace, learned again after a reconnect", kStats, 0, -1, 0, 59999, {-100000, -70000, kReconnect, -30000}},
    {"60-s pace, learned again after a reconnect", kStats, 0, -1, 0, 119999, {-180000, -120000, kReconnect, -60000}},
};

TEST(ReportFreshness, FiguresTurnStaleAfterTwoPeriodsOfThePaceAskedFor) {
    const auto at = [](int ms) { return ReportFreshness::Clock::time_point{} + milliseconds(ms); };
    for (const auto& c : kCases) {
        ReportFreshness freshness;
        freshness.paced(c.which, milliseconds(c.asked_ms), at(-100));
        for (const int report : c.earlier_reports_ms) {
            if (report == kReconnect) {
                freshness.forget();
            } else {
                freshness.received(c.which, at(report));
            }
        }
        const bool is_left_over = !c.earlier_reports_ms.empty() && c.earlier_reports_ms.back() == kReconnect;
        EXPECT_EQ(freshness.received(c.which, at(0)), is_left_over) << c.name;
        if (c.repaced_at >= 0) freshness.paced(c.which, milliseconds(c.repaced_ms), at(c.repaced_at));
        const int last_live = c.live_until >= 0 ? c.live_until : 600000;
        freshness.update(at(last_live));
        EXPECT_FALSE(freshness.isStale(c.which)) << c.name;
        freshness.update(at(last_live + 1));
        EXPECT_EQ(freshness.isStale(c.which), c.live_until >= 0) << c.name;
    }
}

}  // namespace
