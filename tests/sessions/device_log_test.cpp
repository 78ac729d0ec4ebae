#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMetaType>
#include <QRegularExpression>
#include <QTime>

#include <functional>
#include <vector>

#include "sessions/device_log.h"
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
    for (const FixedTypeCase& c : kFixedTypes) (log.*c.add)(QStringLiteral("type %1").arg(c.type));

    const QList<LogLine> lines = log.lines();
    ASSERT_EQ(lines.size(), 4);
    const QRegularExpression shape(QStringLiteral("^(\\d\\d:\\d\\d:\\d\\d) type (-?\\d)$"));
    for (int i = 0; i < lines.size(); ++i) {
        const FixedTypeCase& c = kFixedTypes[3 - i];
        const QRegularExpressionMatch match = shape.match(lines[i].text);
        ASSERT_TRUE(match.hasMatch()) << lines[i].text.toStdString();
        EXPECT_TRUE(QTime::fromString(match.captured(1), QStringLiteral("HH:mm:ss")).isValid());
        EXPECT_EQ(match.captured(2).toInt(), c.type);
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

TEST(DeviceLog, LinesTravelThroughQueuedConnections) {
    register_session_meta_types();
    EXPECT_NE(QMetaType::type("LogLine"), static_cast<int>(QMetaType::UnknownType));
    DeviceLog log;
    QObject receiver;
    QList<LogLine> received;
    QObject::connect(&log, &DeviceLog::lineAdded, &receiver, [&](LogLine line) { received.append(line); },
                     Qt::QueuedConnection);
    log.addEventLine(QStringLiteral("Audio connection ended."));
    EXPECT_TRUE(test_support::wait_processing_events([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, log.lines());
}

}  // namespace
