#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QMetaType>

#include <functional>
#include <optional>
#include <vector>

#include "ipc/message/message.h"
#include "sessions/device_log.h"
#include "sessions/event_log_merger.h"
#include "sessions/session_meta_types.h"
#include "tests/support/qt_wait.h"

namespace {

struct FixedTypeCase {
    void (DeviceLog::*add)(const QString&);
    int type;
};
// The four fixed-type forms of addLine.
const FixedTypeCase kFixedTypes[] = {
    {&DeviceLog::addUntypedLine, -1},
    {&DeviceLog::addEventLine, 0},
    {&DeviceLog::addType1Line, 1},
    {&DeviceLog::addType2Line, 2},
};

TEST(DeviceLog, LinesCarryTheirTypeAndTheTimeNewestFirst) {
    DeviceLog log;
    const QDateTime before = QDateTime::currentDateTimeUtc();
    for (const FixedTypeCase& c : kFixedTypes) (log.*c.add)(QStringLiteral("type %1").arg(c.type));
    const QDateTime after = QDateTime::currentDateTimeUtc();

    const QList<LogLine> lines = log.lines();
    ASSERT_EQ(lines.size(), 4);
    for (int i = 0; i < lines.size(); ++i) {
        const FixedTypeCase& c = kFixedTypes[3 - i];
        ASSERT_TRUE(lines[i].time.isValid());
        EXPECT_TRUE(lines[i].time >= before && lines[i].time <= after)
            << lines[i].time.toString(Qt::ISODateWithMs).toStdString();
        // The time as the codec's entries show theirs.
        EXPECT_EQ(lines[i].text, EventLogMerger::displayTime(lines[i].time) + QStringLiteral(": type %1").arg(c.type));
        EXPECT_EQ(lines[i].type, c.type);
    }
}

TEST(DeviceLog, TheLineAfterTheThousandthReplacesTheOldest) {
    DeviceLog log;
    std::vector<LogLine> added;
    std::vector<LogLine> replaced;
    QObject::connect(&log, &DeviceLog::lineAdded, [&](LogLine line) { added.push_back(line); });
    QObject::connect(&log, &DeviceLog::lineReplaced, [&](LogLine line) { replaced.push_back(line); });

    for (int i = 1; i <= DeviceLog::kMaxLines; ++i) log.addEventLine(QString::number(i));
    ASSERT_EQ(added.size(), size_t(DeviceLog::kMaxLines));
    EXPECT_TRUE(added.back().text.endsWith(QStringLiteral(" 1000")));
    EXPECT_TRUE(replaced.empty());

    log.addEventLine(QStringLiteral("1001"));
    EXPECT_EQ(added.size(), size_t(DeviceLog::kMaxLines));
    ASSERT_EQ(replaced.size(), 1u);
    const QList<LogLine> lines = log.lines();
    ASSERT_EQ(lines.size(), DeviceLog::kMaxLines);
    EXPECT_EQ(lines.front(), replaced.front());
    EXPECT_TRUE(lines.front().text.endsWith(QStringLiteral(" 1001")));
    EXPECT_TRUE(lines.back().text.endsWith(QStringLiteral(" 2")));
}

TEST(DeviceLog, ResetEmptiesSilently) {
    DeviceLog log;
    log.addEventLine(QStringLiteral("Audio connection started. Active peers: Studio"));
    int signals_seen = 0;
    QObject::connect(&log, &DeviceLog::lineAdded, [&] { ++signals_seen; });
    QObject::connect(&log, &DeviceLog::lineReplaced, [&] { ++signals_seen; });
    log.clear();
    EXPECT_EQ(log.size(), 0);
    EXPECT_EQ(signals_seen, 0);
}

// An entry `offset` seconds after a line of ours, as a codec in zone +0000 writes it; null: a time
// no one can read.
struct TimedEntry {
    std::optional<int> offset;
    const char* text;
};
struct PlacementCase {
    const char* what;
    std::vector<TimedEntry> entries;  // one fetch, then the rest in a second
    size_t firstFetch;
    const char* order;  // "D" for our line
};
const PlacementCase kPlacements[] = {
    {"older entries first, then a newer one", {{-600, "A"}, {-300, "B"}, {60, "C"}}, 2, "A B D C"},
    {"an older and a newer one in the second fetch", {{-600, "A"}, {-60, "B"}, {60, "C"}}, 1, "A B D C"},
    {"an entry of the same second goes first", {{0, "A"}, {1, "B"}}, 1, "A D B"},
    {"an unreadable time moves nothing", {{-60, "A"}, {std::nullopt, "B"}, {60, "C"}}, 1, "A B D C"},
    {"the codec's order is kept", {{60, "A"}, {-60, "B"}}, 0, "D A B"},
    {"nothing newer yet", {{-60, "A"}, {-30, "B"}}, 1, "A B D"},
};

// Our lines stand among the codec's entries by their times, and the end of the list shown before a
// fetch, with that fetch's entries placed among its lines of ours, is the list in full.
TEST(DeviceLog, ItsLinesStandAmongTheEntriesByTime) {
    for (const PlacementCase& c : kPlacements) {
        LockedMessageList entries;
        DeviceLog log;
        log.placeAmong(&entries);
        log.addEventLine(QStringLiteral("D"));
        const QDateTime ours = log.lines().front().time;
        const auto fetch = [&](size_t first, size_t end) {
            Message reply;
            reply.set_name("eventLog");
            for (size_t i = first; i < end; ++i) {
                Message& e = reply.add_child("e");
                const TimedEntry& entry = c.entries[i];
                e.attributes().set("ts", entry.offset ? QLocale::c()
                                                            .toString(ours.addSecs(*entry.offset),
                                                                      QStringLiteral("ddd, d MMM yyyy HH:mm:ss +0000"))
                                                            .toStdString()
                                                      : std::string("soon"));
                e.value().set(entry.text);
            }
            return entries.merge(reply);
        };
        fetch(0, c.firstFetch);
        int trailing = 0;
        const QStringList before = log.linesAmongEventLog(&trailing);
        const QStringList added = fetch(c.firstFetch, c.entries.size());
        QStringList shown = before.mid(0, before.size() - trailing);
        shown += log.linesAmongNewEntries(added, trailing);
        int trailingInFull = 0;
        const QStringList full = log.linesAmongEventLog(&trailingInFull);
        QStringList order;
        for (const QString& line : full) order << line.section(QStringLiteral(": "), -1);
        EXPECT_EQ(order.join(' ').toStdString(), c.order) << c.what;
        EXPECT_EQ(shown.join('\n').toStdString(), full.join('\n').toStdString()) << c.what;
        EXPECT_EQ(trailing, trailingInFull) << c.what;
        EXPECT_EQ(log.followsEveryEntry(log.lines().front()), full.last().endsWith(QStringLiteral(": D"))) << c.what;
    }
}

TEST(DeviceLog, LinesTravelThroughQueuedConnections) {
    register_session_meta_types();
    EXPECT_NE(QMetaType::type("LogLine"), static_cast<int>(QMetaType::UnknownType));
    DeviceLog log;
    QObject receiver;
    QList<LogLine> received;
    QObject::connect(
        &log, &DeviceLog::lineAdded, &receiver, [&](LogLine line) { received.append(line); }, Qt::QueuedConnection);
    log.addEventLine(QStringLiteral("Audio connection ended."));
    EXPECT_TRUE(test_support::wait_processing_events([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, log.lines());
}

}  // namespace
