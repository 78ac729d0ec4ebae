#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

// The event log of one simulated codec: its entries, oldest first, each stamped in seconds since
// the Unix epoch. Oldest entries are dropped beyond kMaxBytes, each entry counting its text's
// bytes and kEntryBytes for its element and stamp, so that a "getEventLog" reply fits in one frame
// the program accepts (2 MiB) whatever the entries hold.
//
// Threads: none of its own; one thread at a time, as its codec's model.
class CodecEventLog {
public:
    struct Entry {
        int64_t unix_s = 0;
        std::string text;
    };

    static constexpr size_t kMaxBytes = 1900000;
    static constexpr size_t kEntryBytes = 64;

    void add(int64_t unix_s, const std::string& text);
    // Orders the entries by their stamps; entries of one stamp keep their order.
    void sort_by_stamp();
    void clear();
    const std::deque<Entry>& entries() const { return entries_; }

    // "Mon, 7 Dec 2020 04:41:00 +0000": the program cuts the weekday and the zone away and reads the
    // rest as "d MMM yyyy hh:mm:ss", so the day has no leading zero and the names are English.
    static std::string format_stamp(int64_t unix_s);

private:
    std::deque<Entry> entries_;  // oldest first
    size_t bytes_ = 0;           // of entries_, as kMaxBytes counts them
};
