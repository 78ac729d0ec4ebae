#include "tools/codec-sim/codec_event_log.h"

#include <algorithm>

#include "tools/codec-sim/sim_numbers.h"

using codec_sim::floor_div;

namespace {

std::string pad2(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

}  // namespace

void CodecEventLog::add(int64_t unix_s, const std::string& text) {
    entries_.push_back({unix_s, text});
    bytes_ += text.size() + kEntryBytes;
    while (bytes_ > kMaxBytes) {
        bytes_ -= entries_.front().text.size() + kEntryBytes;
        entries_.pop_front();
    }
}

void CodecEventLog::sort_by_stamp() {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.unix_s < b.unix_s; });
}

void CodecEventLog::clear() {
    entries_.clear();
    bytes_ = 0;
}

std::string CodecEventLog::format_stamp(int64_t unix_s) {
    static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int64_t days = floor_div(unix_s, 86400);
    const int64_t seconds = unix_s - days * 86400;
    // Civil date from days since 1970-01-01 (H. Hinnant's days_from_civil, inverted).
    const int64_t z = days + 719468;
    const int64_t era = floor_div(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    const int64_t weekday = ((days % 7) + 7 + 4) % 7;  // 1970-01-01 was a Thursday
    return std::string(kWeekdays[weekday]) + ", " + std::to_string(day) + " " + kMonths[month - 1] + " " +
           std::to_string(year) + " " + pad2(static_cast<int>(seconds / 3600)) + ":" +
           pad2(static_cast<int>(seconds / 60 % 60)) + ":" + pad2(static_cast<int>(seconds % 60)) + " +0000";
}
