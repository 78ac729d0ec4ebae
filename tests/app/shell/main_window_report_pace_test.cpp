// How often the window asks each codec for its levels and its statistics, as the codec sees it.
// Levels: quickly while a tile, a tree row or the dock draws them in sight, once a second for
// every codec while the tree sorts by "Levels", not at all otherwise; after a reconnect, with
// metering switched off and on, from a legacy codec, and while the operator scrolls fast through
// 256 tiles. Statistics: at the codec's own pace while a tree row in sight or the dock shows them,
// or the tree sorts by one of them, every 5 s otherwise; after a reconnect, minimised, and never
// from a legacy codec, whose "monitor" brings them as before.
#include <gtest/gtest.h>

#include <QFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTime>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/fleet/instance_widget.h"
#include "app/fleet/zorva_stat_row.h"
#include "app/shared/delay_graph.h"
#include "app/shared/frame_clock.h"
#include "app/shared/mini_meter.h"
#include "app/shared/view_colours.h"
#include "app/shell/config_paths.h"
#include "sessions/report_pacer.h"
#include "tests/app/dock/dock_fixture.h"
#include "tests/app/widget_image.h"

namespace {

using test_support::give_up_after;
using test_support::wait_processing_events;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kFast = ReportPacer::kDrawnInterval.count();
constexpr uint32_t kSorting = ReportPacer::kSortingInterval.count();
constexpr uint32_t kNone = 0;
constexpr uint32_t kOwnPace = ReportPacer::kOwnPace.count();
constexpr uint32_t kUnseen = ReportPacer::kUnseenStatisticsInterval.count();

// The subscriptions the statistics pace moves together.
const char* const kStatistics[] = {"peer_stats", "channel_stats", "tun_stats", "tun_conns"};

// What a codec was asked about its levels and its statistics on its newest connection (since its
// last "login").
struct Asked {
    uint32_t interval_ms = kNone;                // of the levels; none before the first request
    std::vector<double> at_s;                    // when each request about the levels came, in seconds of the day
    std::map<std::string, uint32_t> statistics;  // by subscription name, as last asked
};

// The interval a request asks for, when it is about the levels. A subscribing codec is paced by
// its subscription, its "monitor" only switches its metering off; a legacy one by "monitor".
std::optional<uint32_t> askedInterval(const Message& frame, bool isLegacy) {
    const Message::Attributes& attributes = frame.attributes();
    if (frame.name() == "monitor" && attributes.has("metering")) {
        if (!attributes.get_bool("metering", false)) return kNone;
        return isLegacy ? std::optional<uint32_t>(attributes.get_uint("meterInterval", 0)) : std::nullopt;
    }
    for (int index = 0; index < frame.size(); ++index) {
        if (frame.get_child(index).attributes().get_string("id", "") != "metering") continue;
        if (frame.name() == "subscribe") return frame.get_child(index).attributes().get_uint("interval", 0);
        if (frame.name() == "unsubscribe") return kNone;
    }
    return std::nullopt;
}

// The statistics subscriptions a request makes, by name, with their intervals (none given: the
// codec's own pace).
std::map<std::string, uint32_t> askedStatistics(const Message& frame) {
    std::map<std::string, uint32_t> asked;
    if (frame.name() != "subscribe") return asked;
    for (int index = 0; index < frame.size(); ++index) {
        const Message::Attributes& sub = frame.get_child(index).attributes();
        const std::string id = sub.get_string("id", "");
        for (const char* name : kStatistics) {
            if (id == name) asked[id] = sub.get_uint("interval", kOwnPace);
        }
    }
    return asked;
}

class MeteringPaceTest : public app_test::DockFixture {
public:
    using AppFixture::window;
    using DockFixture::child;
    using DockFixture::recorded;
    using DockFixture::syncWith;

    // `count` codecs of `mode`, each with its tile and row, all READY, in a window of a laptop's
    // size showing the top of the tile page.
    void startCodecs(int count, CodecSimMode mode = CodecSimMode::kNormal) {
        isLegacy_ = mode == CodecSimMode::kLegacy;
        for (const uint16_t port : startFleet(count, mode).ports()) {
            IPCObject* session = findInstance(window->createInstance());
            session->setConnection(QStringLiteral("127.0.0.1"), port, QStringLiteral("tarnel"));
            sessions.push_back(session);
            keys_.push_back(view().addInstance(session));
        }
        view().layoutTiles();
        window->resize(1366, 768);
        window->show();
        view().showGeneralOverview();
        ASSERT_TRUE(wait_processing_events(
            [&] {
                return std::all_of(sessions.begin(), sessions.end(),
                                   [](IPCObject* s) { return s->state() == IQEndpointClient::READY; });
            },
            give_up_after(std::chrono::seconds(60))));
    }

    int last() const { return static_cast<int>(sessions.size()) - 1; }
    ZorvaSummary& view() { return *window->summary(); }
    QTreeWidget& tree() { return *view().findChild<QTreeWidget*>(QStringLiteral("summaryTree")); }
    QScrollBar& tiles() { return *view().findChild<QScrollArea*>(QStringLiteral("scrollArea"))->verticalScrollBar(); }
    const MiniMeter& tileMeter(int index) { return *view().tile(keys_.at(index))->miniMeter(); }
    bool isTileInSight(int index) { return FrameClock::isInSight(tileMeter(index)); }
    // The codec of the tree's row shown at `position` (-1: the last one).
    int codecOfRow(int position) {
        const QTreeWidgetItem* item = tree().topLevelItem(position < 0 ? last() : position);
        for (int index = 0; index <= last(); ++index) {
            if (view().summaryRow(keys_.at(index))->item() == item) return index;
        }
        return -1;
    }
    bool isRowInSight(int index) {
        const MiniMeter* meter = view().summaryRow(keys_.at(index))->existingMeter();
        return meter && FrameClock::isInSight(*meter);
    }

    // What each codec has been asked on its newest connection, by port, from the fleet's record.
    std::map<int, Asked> askedByPort() const {
        std::map<int, Asked> asked;
        QFile file(recordPath(0));
        if (!file.open(QIODevice::ReadOnly)) return asked;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().trimmed();  // "<time> <port> <frame>"
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() < 3) continue;
            Message frame;
            try {
                frame.parse(line.mid(parts[0].size() + parts[1].size() + 2).toStdString());
            } catch (const std::exception&) {
                continue;
            }
            Asked& codec = asked[parts[1].toInt()];
            if (frame.name() == "login") codec = Asked();
            for (const auto& [name, interval_ms] : askedStatistics(frame)) codec.statistics[name] = interval_ms;
            if (const std::optional<uint32_t> interval = askedInterval(frame, isLegacy_)) {
                codec.interval_ms = *interval;
                // "2024-05-01T12:00:00.123456Z"
                const QTime time =
                    QTime::fromString(QString::fromLatin1(parts[0].mid(11, 8)), QStringLiteral("HH:mm:ss"));
                codec.at_s.push_back(time.msecsSinceStartOfDay() / 1000.0 + parts[0].mid(19, 7).toDouble());
            }
        }
        return asked;
    }
    uint16_t port(int index) const { return fleets.front()->ports().at(index); }
    Asked asked(int index) const { return askedByPort()[port(index)]; }
    bool isAskedFor(int index, uint32_t interval_ms) {
        return wait_processing_events([&] { return asked(index).interval_ms == interval_ms; });
    }
    // Whether every statistics subscription of the codec has been asked at `interval_ms`.
    static bool hasStatisticsAt(const Asked& codec, uint32_t interval_ms) {
        return std::all_of(std::begin(kStatistics), std::end(kStatistics), [&](const char* name) {
            const auto found = codec.statistics.find(name);
            return found != codec.statistics.end() && found->second == interval_ms;
        });
    }
    bool isStatisticsAskedAt(int index, uint32_t interval_ms) {
        return wait_processing_events([&] { return hasStatisticsAt(asked(index), interval_ms); });
    }
    bool isEveryCodecStatisticsAskedAt(uint32_t interval_ms) {
        return wait_processing_events([&] {
            std::map<int, Asked> asked = askedByPort();
            for (int index = 0; index <= last(); ++index) {
                if (!hasStatisticsAt(asked[port(index)], interval_ms)) return false;
            }
            return true;
        });
    }

    void waitForFrame() {
        int frames = 0;
        const QMetaObject::Connection counting =
            QObject::connect(FrameClock::of(*window), &FrameClock::frameEnded, [&frames] { ++frames; });
        EXPECT_TRUE(wait_processing_events([&] { return frames > 0; }));
        QObject::disconnect(counting);
    }

    // The tile's meter moves: its transmit bar shows another level.
    bool tileMeterMoves(int index) {
        const auto level = [&] { return tileMeter(index).bar(MiniMeter::kTxl).level(); };
        const float shown = level();
        return wait_processing_events([&] { return level() != shown; });
    }

    bool isStoredOff(int index) {
        window->saveConfig();
        QFile config(configFilePath());
        const QByteArray record = QStringLiteral("port=\"%1\"").arg(port(index)).toUtf8();
        if (!config.open(QIODevice::ReadOnly)) return false;
        for (const QByteArray& line : config.readAll().split('\n')) {
            if (line.contains(record)) return line.contains("metering=\"false\"");
        }
        return false;
    }

    std::vector<IPCObject*> sessions;  // in the order of their codecs' ports

private:
    std::vector<QUuid> keys_;  // the tile keys, likewise
    bool isLegacy_ = false;
};

struct Step {
    const char* what;
    std::function<void(MeteringPaceTest&)> act;
    std::function<bool(MeteringPaceTest&)> holds;  // waited for
};

struct Scenario {
    const char* name;  // letters, digits and underscores: it names the test
    CodecSimMode mode;
    std::vector<Step> steps;
};

void nothing(MeteringPaceTest&) {}
void toTheEnd(MeteringPaceTest& t) {
    t.tiles().setValue(t.tiles().maximum());
}
void toTheTop(MeteringPaceTest& t) {
    t.tiles().setValue(0);
}
bool firstFastLastNot(MeteringPaceTest& t) {
    return t.isAskedFor(0, kFast) && t.isAskedFor(t.last(), kNone);
}
bool lastFastFirstNot(MeteringPaceTest& t) {
    return !t.isTileInSight(0) && t.isAskedFor(0, kNone) && t.isAskedFor(t.last(), kFast);
}
bool firstBackAndMoving(MeteringPaceTest& t) {
    return t.isAskedFor(0, kFast) && t.tileMeterMoves(0);
}
bool isSortedByLevel(MeteringPaceTest& t) {
    QTreeWidget& tree = t.tree();
    for (int index = 1; index < tree.topLevelItemCount(); ++index) {
        const QVariant above =
            tree.topLevelItem(index - 1)->data(ZorvaStatRow::kLevelsColumn, ZorvaStatRow::kLevelSortRole);
        const QVariant here = tree.topLevelItem(index)->data(ZorvaStatRow::kLevelsColumn, ZorvaStatRow::kLevelSortRole);
        if (!above.isValid() || !here.isValid() || above.toFloat() > here.toFloat()) return false;
    }
    return true;
}

// The levels' rows. 48 codecs: the window shows the first tiles and rows; the last ones are out of
// sight, and the first ones once scrolled to the end.
const std::vector<Scenario> kLevelScenarios = {
    {"TileScrolledOutAndBackIn",
     CodecSimMode::kNormal,
     {{"at the top", nothing, firstFastLastNot},
      {"at the end", toTheEnd, lastFastFirstNot},
      {"back at the top", toTheTop, firstBackAndMoving}}},
    {"TreeView",
     CodecSimMode::kNormal,
     {{"rows", [](MeteringPaceTest& t) { t.view().showStatsOverview(); },
       [](MeteringPaceTest& t) {
           // A row's meter comes with the first frame that shows the row.
           return wait_processing_events([&] { return t.isRowInSight(t.codecOfRow(0)); }) &&
                  !t.isRowInSight(t.codecOfRow(-1)) && t.isAskedFor(t.codecOfRow(0), kFast) &&
                  t.isAskedFor(t.codecOfRow(-1), kNone);
       }},
      {"the last row", [](MeteringPaceTest& t) { t.tree().scrollToBottom(); },
       [](MeteringPaceTest& t) {
           return t.isAskedFor(t.codecOfRow(0), kNone) && t.isAskedFor(t.codecOfRow(-1), kFast);
       }}}},
    {"TreeSortedByLevels",
     CodecSimMode::kNormal,
     {{"sorted",
       [](MeteringPaceTest& t) {
           t.view().showStatsOverview();
           t.tree().sortByColumn(ZorvaStatRow::kLevelsColumn, Qt::AscendingOrder);
       },
       [](MeteringPaceTest& t) {
           return t.isAskedFor(t.codecOfRow(-1), kSorting) &&
                  wait_processing_events([&] { return isSortedByLevel(t); });
       }},
      {"tiles again", [](MeteringPaceTest& t) { t.view().showGeneralOverview(); }, firstFastLastNot}}},
    {"TheDocksCodec",
     CodecSimMode::kNormal,
     {{"its meters",
       [](MeteringPaceTest& t) {
           t.window->activeInstanceSelected(t.sessions.back());
           t.child<QTabWidget>("statusTabWidget")->setCurrentWidget(t.child<QWidget>("meterTab"));
       },
       [](MeteringPaceTest& t) { return !t.isTileInSight(t.last()) && t.isAskedFor(t.last(), kFast); }},
      {"another tab",
       [](MeteringPaceTest& t) {
           t.child<QTabWidget>("statusTabWidget")->setCurrentWidget(t.child<QWidget>("connectionsTab"));
       },
       [](MeteringPaceTest& t) { return t.isAskedFor(t.last(), kNone); }}}},
    {"WindowMinimisedAndRestored",
     CodecSimMode::kNormal,
     {{"minimised", [](MeteringPaceTest& t) { t.window->showMinimized(); },
       [](MeteringPaceTest& t) { return t.isAskedFor(0, kNone); }},
      {"restored", [](MeteringPaceTest& t) { t.window->showNormal(); }, firstFastLastNot}}},
    {"MeteringOffAndOn",
     CodecSimMode::kNormal,
     {{"off",
       [](MeteringPaceTest& t) {
           t.window->activeInstanceSelected(t.sessions.front());
           t.window->disableMetering();
       },
       [](MeteringPaceTest& t) { return t.isAskedFor(0, kNone) && !t.sessions.front()->meteringOn; }},
      {"scrolled away and back: still off, also in the file",
       [](MeteringPaceTest& t) {
           toTheEnd(t);
           t.waitForFrame();
           toTheTop(t);
           t.waitForFrame();
       },
       [](MeteringPaceTest& t) { return t.isStoredOff(0) && t.asked(0).interval_ms == kNone; }},
      {"on", [](MeteringPaceTest& t) { t.window->enableMetering(); }, firstFastLastNot}}},
    {"Reconnect",
     CodecSimMode::kNormal,
     {{"asked afresh as the view stands: the unseen codec not at all",
       [](MeteringPaceTest& t) {
           for (IPCObject* session : t.sessions) session->disconnectIPC();
           for (IPCObject* session : t.sessions) session->reconnectIPC();
       },
       [](MeteringPaceTest& t) {
           return wait_processing_events([&] { return t.sessions.back()->state() == IQEndpointClient::READY; }) &&
                  t.isAskedFor(0, kFast) && t.asked(t.last()).at_s.empty();
       }}}},
    {"LegacyCodec",
     CodecSimMode::kLegacy,
     {{"at the top", nothing, firstFastLastNot},
      {"at the end", toTheEnd, lastFastFirstNot},
      {"back at the top", toTheTop, firstBackAndMoving}}},
};

void showTree(MeteringPaceTest& t) {
    t.view().showStatsOverview();
}
bool firstRowOwnPaceLastRowUnseen(MeteringPaceTest& t) {
    return t.isStatisticsAskedAt(t.codecOfRow(0), kOwnPace) && t.isStatisticsAskedAt(t.codecOfRow(-1), kUnseen);
}
bool firstInTheDock(MeteringPaceTest& t) {
    return t.isStatisticsAskedAt(0, kOwnPace);
}
bool firstUnseen(MeteringPaceTest& t) {
    return t.isStatisticsAskedAt(0, kUnseen);
}

// 48 codecs, each with its tile and row: the tiles show no statistics; the tree's first rows and
// the dock's codec do.
const std::vector<Scenario> kStatisticsScenarios = {
    {"TreeRowScrolledInAndOut",
     CodecSimMode::kNormal,
     {{"the tiles show none", nothing, [](MeteringPaceTest& t) { return t.isEveryCodecStatisticsAskedAt(kUnseen); }},
      {"the first rows", showTree, firstRowOwnPaceLastRowUnseen},
      {"the last row", [](MeteringPaceTest& t) { t.tree().scrollToBottom(); },
       [](MeteringPaceTest& t) {
           return t.isStatisticsAskedAt(t.codecOfRow(0), kUnseen) && t.isStatisticsAskedAt(t.codecOfRow(-1), kOwnPace);
       }},
      {"its statistics columns hidden",
       [](MeteringPaceTest& t) {
           for (int column = 0; column < t.tree().columnCount(); ++column) {
               if (ZorvaStatRow::isStatisticsColumn(column)) t.tree().hideColumn(column);
           }
       },
       [](MeteringPaceTest& t) { return t.isStatisticsAskedAt(t.codecOfRow(-1), kUnseen); }}}},
    {"TheDocksCodec",
     CodecSimMode::kNormal,
     {{"the last codec, its tile out of sight",
       [](MeteringPaceTest& t) { t.window->activeInstanceSelected(t.sessions.back()); },
       [](MeteringPaceTest& t) { return t.isStatisticsAskedAt(t.last(), kOwnPace) && firstUnseen(t); }},
      {"the first codec instead", [](MeteringPaceTest& t) { t.window->activeInstanceSelected(t.sessions.front()); },
       [](MeteringPaceTest& t) { return t.isStatisticsAskedAt(t.last(), kUnseen) && firstInTheDock(t); }}}},
    {"TreeSortedByRxFrameLoss",
     CodecSimMode::kNormal,
     {{"sorted",
       [](MeteringPaceTest& t) {
           showTree(t);
           t.tree().sortByColumn(ZorvaStatRow::kFrameLossColumn, Qt::AscendingOrder);
       },
       [](MeteringPaceTest& t) { return t.isEveryCodecStatisticsAskedAt(kOwnPace); }},
      {"tiles again", [](MeteringPaceTest& t) { t.view().showGeneralOverview(); },
       [](MeteringPaceTest& t) { return t.isEveryCodecStatisticsAskedAt(kUnseen); }}}},
    {"WindowMinimisedAndRestored",
     CodecSimMode::kNormal,
     {{"the dock's codec", [](MeteringPaceTest& t) { t.window->activeInstanceSelected(t.sessions.front()); },
       firstInTheDock},
      {"minimised", [](MeteringPaceTest& t) { t.window->showMinimized(); }, firstUnseen},
      {"restored", [](MeteringPaceTest& t) { t.window->showNormal(); }, firstInTheDock}}},
    {"Reconnect",
     CodecSimMode::kNormal,
     {{"the first rows", showTree, firstRowOwnPaceLastRowUnseen},
      {"asked afresh as the view stands",
       [](MeteringPaceTest& t) {
           for (IPCObject* session : t.sessions) session->disconnectIPC();
           for (IPCObject* session : t.sessions) session->reconnectIPC();
       },
       [](MeteringPaceTest& t) {
           return wait_processing_events([&] {
                      return std::all_of(t.sessions.begin(), t.sessions.end(), [](IPCObject* session) {
                          return session->state() == IQEndpointClient::READY;
                      });
                  }) &&
                  firstRowOwnPaceLastRowUnseen(t);
       }}}},
    {"LegacyCodec",
     CodecSimMode::kLegacy,
     {{"\"monitor\" brings them; tree rows and the dock's codec ask for nothing more",
       [](MeteringPaceTest& t) {
           showTree(t);
           t.window->activeInstanceSelected(t.sessions.back());
       },
       [](MeteringPaceTest& t) {
           IPCObject& shown = *t.sessions.at(static_cast<size_t>(t.codecOfRow(0)));
           if (!wait_processing_events([&] { return shown.statisticsInterval() == kOwnPace; })) return false;
           t.syncWith(shown);
           const std::map<int, Asked> asked = t.askedByPort();
           const bool asksNoStatistics = std::all_of(asked.begin(), asked.end(),
                                                     [](const auto& codec) { return codec.second.statistics.empty(); });
           const std::vector<app_test::RecordedFrame> monitors = t.recorded("monitor");
           const bool isMonitored =
               std::any_of(monitors.begin(), monitors.end(), [&](const app_test::RecordedFrame& frame) {
                   return frame.port == t.port(0) && frame.message.attributes().get_bool("peerStats", false);
               });
           return asksNoStatistics && isMonitored;
       }}}},
};

class ReportPaceScenarioTest : public MeteringPaceTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(ReportPaceScenarioTest, ReportsAreAskedForAsTheViewsShowThem) {
    startCodecs(48, GetParam().mode);
    ASSERT_TRUE(isTileInSight(0));
    ASSERT_FALSE(isTileInSight(last()));
    for (const Step& step : GetParam().steps) {
        step.act(*this);
        EXPECT_TRUE(step.holds(*this)) << step.what;
    }
}

std::string scenarioName(const ::testing::TestParamInfo<Scenario>& row) {
    return row.param.name;
}
INSTANTIATE_TEST_SUITE_P(Levels, ReportPaceScenarioTest, ::testing::ValuesIn(kLevelScenarios), scenarioName);
INSTANTIATE_TEST_SUITE_P(Statistics, ReportPaceScenarioTest, ::testing::ValuesIn(kStatisticsScenarios), scenarioName);

// A codec nobody looks at reports its statistics every 5 s, and its graph series keep each
// report. Opened in the dock after a while, its delay graph shows a bar for every report that came
// meanwhile.
TEST_F(MeteringPaceTest, TheGraphOfACodecOpenedAfterAWhileUnseenShowsItsHistory) {
    startCodecs(4);
    IPCObject& codec = *sessions.at(1);  // in a call from the start
    std::vector<Clock::time_point> reports;
    QObject context;  // ends the connection before the locals it writes go
    QObject::connect(&codec, &IPCObject::recvPeerStats, &context, [&] { reports.push_back(Clock::now()); });
    ASSERT_TRUE(wait_processing_events([&] { return reports.size() >= 3; }, give_up_after(std::chrono::seconds(30))));
    for (size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GE(reports[i] - reports[i - 1], std::chrono::milliseconds(4500)) << "report " << i;
    }
    const size_t unseen = reports.size();

    window->activeInstanceSelected(&codec);
    child<QTabWidget>("statusTabWidget")->setCurrentWidget(child<QWidget>("statsTab"));
    auto* graph = child<DelayGraph>("delayGraph");
    ASSERT_TRUE(wait_processing_events([&] { return graph->isVisible() && graph->width() > 200; }));
    // The bars, newest at the right, each standing on the bottom row in the delay's colour.
    const QImage image = app_test::render(*graph);
    int bars = 0;
    bool isInBar = false;
    for (int x = 0; x < image.width(); ++x) {
        const bool isDelay = app_test::pixel(image, x, image.height() - 2) == delayColor;
        bars += isDelay && !isInBar;
        isInBar = isDelay;
    }
    EXPECT_GE(bars, static_cast<int>(unseen));
}

// Scrolling a screen of tiles a frame, through the whole fleet: each codec is asked at most twice
// (quickly while it passes, then for nothing), never twice within the pacer's gap, and in the end
// only the tiles in sight report.
TEST_F(MeteringPaceTest, AFastScrollThrough256TilesSendsNoStorm) {
    startCodecs(256);
    while (tiles().value() < tiles().maximum()) {
        tiles().setValue(tiles().value() + tiles().pageStep());
        waitForFrame();
    }
    ASSERT_TRUE(wait_processing_events([&] {
        std::map<int, Asked> asked = askedByPort();
        for (int index = 0; index <= last(); ++index) {
            if (asked[port(index)].interval_ms != (isTileInSight(index) ? kFast : kNone)) return false;
        }
        return true;
    }));
    size_t requests = 0;
    for (const auto& [port, codec] : askedByPort()) {
        requests += codec.at_s.size();
        EXPECT_LE(codec.at_s.size(), 2u) << port;
        // Taken as the codec received them, so a first request delivered late on a busy machine
        // shortens the pacer's 0.25 s; unpaced, the two would come a frame (0.02-0.03 s) apart.
        for (size_t i = 1; i < codec.at_s.size(); ++i) EXPECT_GE(codec.at_s[i] - codec.at_s[i - 1], 0.15) << port;
    }
    EXPECT_LE(requests, 2u * 256u);
}

}  // namespace
