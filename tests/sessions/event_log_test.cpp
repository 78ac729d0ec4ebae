#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "ipc/message/message.h"
#include "sessions/event_log_merger.h"
#include "sessions/locked_message_list.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/wait_until.h"

namespace {

// A German desktop for the lifetime of the object: the C library's locale and Qt's default locale.
// (The suite also runs once with LC_ALL=de_DE.UTF-8 in the environment, which sets Qt's system
// locale as well; see CMakeLists.txt.)
class ScopedGermanLocale {
public:
    ScopedGermanLocale() : previous_qt_(QLocale()) {
        const char* current = std::setlocale(LC_ALL, nullptr);
        previous_c_ = current != nullptr ? current : "C";
        is_installed_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    }
    ~ScopedGermanLocale() {
        QLocale::setDefault(previous_qt_);
        std::setlocale(LC_ALL, previous_c_.c_str());
    }
    bool is_installed() const { return is_installed_; }

private:
    QLocale previous_qt_;
    std::string previous_c_;
    bool is_installed_ = false;
};

// This desktop's time zone, for the lifetime of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        const char* previous = std::getenv("TZ");
        has_previous_ = previous != nullptr;
        if (has_previous_) previous_ = previous;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (has_previous_) {
            setenv("TZ", previous_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool has_previous_ = false;
    std::string previous_;
};

struct Entry {
    const char* ts;
    const char* text;
};

Message reply_of(const std::vector<Entry>& entries) {
    Message reply;
    reply.set_name("eventLog");
    for (const Entry& entry : entries) {
        Message& e = reply.add_child("e");
        e.attributes().set("ts", entry.ts);
        e.value().set(entry.text);
    }
    return reply;
}

QString line_of(const Entry& entry) {
    return EventLogMerger::parseEventLogEntry(reply_of({entry}).get_child(0));
}

QStringList lines_of(const std::vector<Entry>& entries, size_t first, size_t end) {
    QStringList lines;
    for (size_t i = first; i < end; ++i) lines.append(line_of(entries[i]));
    return lines;
}

// A codec's log with bursts inside one second, and an event repeated word for word within its
// second: the cases a search steered by time alone cannot place.
const std::vector<Entry> kCodecLog = {
    {"Tue, 12 Mar 2024 10:00:01 +0000", "Boot"},                 // 0
    {"Tue, 12 Mar 2024 10:00:05 +0000", "Link up"},              // 1
    {"Tue, 12 Mar 2024 10:00:07 +0000", "Peer 3 connecting"},    // 2
    {"Tue, 12 Mar 2024 10:00:07 +0000", "Peer 3 connected"},     // 3
    {"Tue, 12 Mar 2024 10:00:07 +0000", "Jitter buffer reset"},  // 4
    {"Tue, 12 Mar 2024 10:00:07 +0000", "Jitter buffer reset"},  // 5
    {"Tue, 12 Mar 2024 10:00:07 +0000", "Frame loss"},           // 6
    {"Tue, 12 Mar 2024 10:00:07 +0000", "Frame loss"},           // 7
    {"Tue, 12 Mar 2024 10:00:07 +0000", "Frame loss"},           // 8
    {"Tue, 12 Mar 2024 10:00:09 +0000", "Peer 3 disconnected"},  // 9
    {"Tue, 12 Mar 2024 10:00:09 +0000", "Link down"},            // 10
    {"Tue, 12 Mar 2024 10:00:09 +0000", "Link down"},            // 11
};

// Each poll returns the codec's log from `first` to `end`; the window slides as the codec rotates.
struct Poll {
    size_t first, end;
    size_t new_first;  // entries new_first..end are new
};
const Poll kPolls[] = {
    {0, 3, 0},    // start: Boot .. Peer 3 connecting
    {0, 6, 3},    // last stored sits left of the middle among same-second neighbours
    {3, 9, 6},    // last stored has an identical twin just before it
    {3, 11, 9},   // rotated window; the last stored is the third of three identical entries
    {5, 12, 11},  // the one new entry is identical to the last stored one
    {5, 12, 12},  // nothing new
};

TEST(EventLog, PollsMergeWithoutDuplicatesUnderAGermanLocale) {
    ScopedGermanLocale german;
    if (!german.is_installed()) GTEST_SKIP() << "de_DE.UTF-8 not installed";
    test_support::CapturedQtMessages messages;

    LockedMessageList log;
    for (const Poll& poll : kPolls) {
        const std::vector<Entry> window(kCodecLog.begin() + poll.first, kCodecLog.begin() + poll.end);
        EXPECT_EQ(log.merge(reply_of(window)), lines_of(kCodecLog, poll.new_first, poll.end))
            << "poll " << poll.first << ".." << poll.end;
    }
    EXPECT_EQ(log.lines(), lines_of(kCodecLog, 0, kCodecLog.size()));
    EXPECT_EQ(messages.warnings(), std::vector<std::string>{});
}

// The session merges on whichever thread its reply arrives while a view reads the lines: in the
// ThreadSanitizer build a lock it cannot see ends the program with a race on the entries.
TEST(EventLog, PollsMergedOnAnotherThreadWhileTheLinesAreRead) {
    LockedMessageList log;
    std::thread poller([&] {
        for (const Poll& poll : kPolls) {
            log.merge(reply_of(std::vector<Entry>(kCodecLog.begin() + poll.first, kCodecLog.begin() + poll.end)));
        }
    });
    EXPECT_TRUE(test_support::wait_until([&] { return log.lines().size() == static_cast<int>(kCodecLog.size()); }));
    poller.join();
    EXPECT_EQ(log.lines(), lines_of(kCodecLog, 0, kCodecLog.size()));
}

struct MergeCase {
    const char* what;
    std::vector<Entry> stored;  // merged first
    std::vector<Entry> reply;
    std::vector<const char*> added;  // event texts of the new lines
};
const Entry kA{"Tue, 12 Mar 2024 10:00:01 +0000", "A"};
const Entry kB{"Tue, 12 Mar 2024 10:00:02 +0000", "B"};
const Entry kC{"Tue, 12 Mar 2024 10:00:03 +0000", "C"};
const Entry kD{"Tue, 12 Mar 2024 10:00:04 +0000", "D"};
const Entry kX{"Tue, 12 Mar 2024 10:00:02 +0000", "X"};
// Cases from the merge rules of the codec session: equal reply, entries behind the last stored one,
// a cleared or rotated codec log, and windows that start inside a run of identical entries.
const MergeCase kMergeCases[] = {
    {"equal reply adds nothing", {kA, kB}, {kA, kB}, {}},
    {"three entries behind the last", {kA}, {kA, kB, kC, kD}, {"B", "C", "D"}},
    {"codec log cleared: whole reply", {kA, kB}, {kC, kD}, {"C", "D"}},
    {"reply without entries", {kA}, {}, {}},
    {"a twin behind the last stored", {kA, kX}, {kA, kX, kX, kB}, {"X", "B"}},
    {"window starts inside a run", {kA, kX}, {kX, kX}, {"X"}},
    {"window of the last stored only", {kA, kX}, {kX}, {}},
};

TEST(EventLog, MergeCases) {
    for (const MergeCase& c : kMergeCases) {
        LockedMessageList log;
        log.merge(reply_of(c.stored));
        QStringList expected;
        for (const char* text : c.added) expected.append(QStringLiteral(": ") + text);
        const QStringList added = log.merge(reply_of(c.reply));
        ASSERT_EQ(added.size(), expected.size()) << c.what;
        for (int i = 0; i < added.size(); ++i) EXPECT_TRUE(added[i].endsWith(expected[i])) << c.what;
        EXPECT_EQ(log.size(), static_cast<int>(c.stored.size() + c.added.size())) << c.what;
    }
}

TEST(EventLog, ChildrenOtherThanEntriesAreIgnored) {
    Message reply = reply_of({kA});
    reply.add_child("summary").value().set("not an entry");
    LockedMessageList log;
    EXPECT_EQ(log.merge(reply), QStringList{line_of(kA)});
    EXPECT_EQ(log.size(), 1);
}

TEST(EventLog, UnreadableTimeOfTheLastEntryWarnsButKeepsMerging) {
    const Entry odd{"12 March 2024, 10:00:01", "A"};
    LockedMessageList log;
    log.merge(reply_of({odd}));
    test_support::CapturedQtMessages messages;
    EXPECT_EQ(log.merge(reply_of({odd, kB})), QStringList{line_of(kB)});
    EXPECT_EQ(messages.count_warnings("Timestamp is invalid"), 1);
    // Once a readable entry is the last one, the log goes on as usual.
    EXPECT_EQ(log.merge(reply_of({odd, kB, kC})), QStringList{line_of(kC)});
}

TEST(EventLog, TheNewestEntriesOfAFullListPushOutTheOldest) {
    const size_t full = EventLogMerger::kMaxStoredEntries;
    std::vector<std::string> texts;
    for (size_t i = 0; i <= full; ++i) texts.push_back("event " + std::to_string(i));
    std::vector<Entry> entries;
    for (const std::string& text : texts) {
        entries.push_back({"Tue, 12 Mar 2024 10:00:01 +0000", text.c_str()});
    }

    LockedMessageList log;
    const std::vector<Entry> first_batch(entries.begin(), entries.end() - 1);
    EXPECT_EQ(log.merge(reply_of(first_batch)).size(), static_cast<int>(full));
    EXPECT_EQ(log.merge(reply_of(entries)), QStringList{line_of(entries.back())});
    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), static_cast<int>(full));
    EXPECT_EQ(lines.front(), line_of(entries[1]));
    EXPECT_EQ(lines.back(), line_of(entries.back()));
}

TEST(EventLog, ClearStartsANewList) {
    LockedMessageList log;
    log.merge(reply_of({kA, kB}));
    log.clear();
    EXPECT_EQ(log.size(), 0);
    EXPECT_EQ(log.merge(reply_of({kA, kB})), (QStringList{line_of(kA), line_of(kB)}));
}

struct TimestampCase {
    const char* ts;
    const char* expected;  // ISO text, or nullptr for invalid
};
// Month names as the codec writes them (RFC 2822 dates); the German abbreviations of March, May,
// October and December differ, and the spring-forward hour does not exist in Europe/Berlin.
const TimestampCase kTimestamps[] = {
    {"Tue, 12 Mar 2024 10:00:07 +0000", "2024-03-12T10:00:07"},
    {"Sun, 5 May 2024 23:59:59 +0200", "2024-05-05T23:59:59"},
    {"Thu, 31 Oct 2024 00:00:00 +0100", "2024-10-31T00:00:00"},
    {"Wed, 25 Dec 2024 12:30:00 +0100", "2024-12-25T12:30:00"},
    {"Sun, 31 Mar 2024 02:30:00 +0100", "2024-03-31T02:30:00"},
    {"Tue, 12 Mär 2024 10:00:07 +0000", nullptr},
    {"Tue, 32 Mar 2024 10:00:07 +0000", nullptr},
    {"Tue, 12 Mar 2024 25:00:07 +0000", nullptr},
    {"12 Mar 2024 10:00:07", nullptr},
    {"", nullptr},
};

TEST(EventLog, TimestampsReadAlikeOnEveryDesktop) {
    ScopedGermanLocale german;
    if (!german.is_installed()) GTEST_SKIP() << "de_DE.UTF-8 not installed";
    const ScopedTimeZone berlin("Europe/Berlin");
    for (const TimestampCase& c : kTimestamps) {
        const QDateTime time = EventLogMerger::parseTimestamp(reply_of({{c.ts, "x"}}).get_child(0));
        if (c.expected == nullptr) {
            EXPECT_FALSE(time.isValid()) << c.ts;
        } else {
            EXPECT_EQ(time.toString(Qt::ISODate).toStdString(), std::string(c.expected) + "Z") << c.ts;
        }
    }
}

struct LineCase {
    const char* ts;
    const char* text;
    const char* line;
};
// Display lines on a desktop in Berlin: the entry's moment in its local time, ": ", the event
// text; a time that cannot be read stays as the codec wrote it, up to its last blank.
const LineCase kLines[] = {
    {"Tue, 12 Mar 2024 10:00:07 +0000", "Frame loss", "Tue, 12 Mar 2024 11:00:07: Frame loss"},
    {"Sun, 5 May 2024 23:59:59 +0200", "Boot", "Sun, 5 May 2024 23:59:59: Boot"},
    {"Tue, 12 Mar 2024 05:00:07 -0500", "Boot", "Tue, 12 Mar 2024 11:00:07: Boot"},
    {"Sun, 31 Mar 2024 01:30:00 +0000", "Boot", "Sun, 31 Mar 2024 03:30:00: Boot"},  // after spring-forward
    {"Tue, 12 Mar 2024 10:00:07 +0060", "Boot", "Tue, 12 Mar 2024 10:00:07: Boot"},
    {"Tue, 12 Mar 2024 10:00:07 UTC", "Boot", "Tue, 12 Mar 2024 10:00:07: Boot"},
    {"nodate", "Boot", ": Boot"},
    {"", "Boot", ": Boot"},
    {"Tue, 12 Mar 2024 10:00:07 +0000", "Störung Kanal 2", "Tue, 12 Mar 2024 11:00:07: Störung Kanal 2"},
};

TEST(EventLog, DisplayLines) {
    const ScopedGermanLocale german;  // the names stay English
    const ScopedTimeZone berlin("Europe/Berlin");
    for (const LineCase& c : kLines) {
        EXPECT_EQ(line_of({c.ts, c.text}).toStdString(), c.line) << c.ts;
    }
}

}  // namespace
