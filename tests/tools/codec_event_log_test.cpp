#include "tools/codec-sim/codec_event_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Stamps as the program parses them, checked with date -u: leap days, a century that is no leap
// year, both sides of the epoch and past 32-bit seconds.
struct StampCase {
    int64_t unix_s;
    const char* stamp;
};
// clang-format off
const StampCase kStamps[] = {
    {1709251199, "Thu, 29 Feb 2024 23:59:59 +0000"},
    {4107542400, "Mon, 1 Mar 2100 00:00:00 +0000"},
    {-2208945600, "Mon, 1 Jan 1900 12:00:00 +0000"},
    {2147483648, "Tue, 19 Jan 2038 03:14:08 +0000"},
    {-86400, "Wed, 31 Dec 1969 00:00:00 +0000"},
};
// clang-format on

TEST(CodecEventLog, StampsReadAsCalendarTimeInUtc) {
    for (const StampCase& c : kStamps) EXPECT_EQ(CodecEventLog::format_stamp(c.unix_s), c.stamp) << c.unix_s;
}

std::vector<std::string> texts(const CodecEventLog& log) {
    std::vector<std::string> out;
    for (const CodecEventLog::Entry& entry : log.entries()) out.push_back(entry.text);
    return out;
}

size_t counted_bytes(const CodecEventLog& log) {
    size_t bytes = 0;
    for (const CodecEventLog::Entry& entry : log.entries()) bytes += entry.text.size() + CodecEventLog::kEntryBytes;
    return bytes;
}

TEST(CodecEventLog, DropsTheOldestBeyondItsBytes) {
    // Entries that count a quarter of the bound each (text and element), less one byte: four fit.
    const size_t text_bytes = CodecEventLog::kMaxBytes / 4 - CodecEventLog::kEntryBytes - 1;
    CodecEventLog log;
    for (char name : std::string("abcdef")) log.add(0, std::string(1, name) + std::string(text_bytes - 1, '.'));
    ASSERT_EQ(log.entries().size(), 4u);
    EXPECT_EQ(log.entries().front().text[0], 'c');
    EXPECT_EQ(log.entries().back().text[0], 'f');
    EXPECT_LE(counted_bytes(log), CodecEventLog::kMaxBytes);

    // An entry larger than the whole bound cannot be kept, and takes the others with it.
    log.add(1, std::string(CodecEventLog::kMaxBytes, 'x'));
    EXPECT_TRUE(log.entries().empty());

    // Once cleared, the count starts again: four big entries fit as before.
    log.add(2, "small");
    log.clear();
    for (char name : std::string("wxyz")) log.add(3, std::string(1, name) + std::string(text_bytes - 1, '.'));
    EXPECT_EQ(log.entries().size(), 4u);
}

TEST(CodecEventLog, SortsByStampKeepingTheOrderOfOneStamp) {
    CodecEventLog log;
    log.add(20, "b1");
    log.add(10, "a");
    log.add(20, "b2");
    log.add(5, "first");
    log.sort_by_stamp();
    EXPECT_EQ(texts(log), (std::vector<std::string>{"first", "a", "b1", "b2"}));
}

}  // namespace
