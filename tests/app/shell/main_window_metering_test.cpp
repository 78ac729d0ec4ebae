// How often the window asks each codec for its levels, as the codec sees it: quickly while a tile,
// a tree row or the dock draws them in sight, once a second for every codec while the tree sorts
// by "Levels", not at all otherwise; after a reconnect, with metering switched off and on, from a
// legacy codec, and while the operator scrolls fast through 256 tiles.
#include <gtest/gtest.h>

#include <QFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTime>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/fleet/instance_widget.h"
#include "app/fleet/zorva_stat_row.h"
#include "app/shared/frame_clock.h"
#include "app/shared/mini_meter.h"
#include "app/shell/config_paths.h"
#include "sessions/meter_pacer.h"
#include "tests/app/dock/dock_fixture.h"

namespace {

using test_support::wait_processing_events;

constexpr uint32_t kFast = MeterPacer::kDrawnInterval.count();
constexpr uint32_t kSorting = MeterPacer::kSortingInterval.count();
constexpr uint32_t kNone = 0;

// What a codec was asked about its levels on its newest connection (since its last "login").
struct Asked {
    uint32_t interval_ms = kNone;  // none before the first request
    std::vector<double> at_s;      // when each request came, in seconds of the day
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

class MeteringPaceTest : public app_test::DockFixture {
public:
    using AppFixture::window;
    using DockFixture::child;

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
        ASSERT_TRUE(wait_processing_events([&] {
            return std::all_of(sessions.begin(), sessions.end(),
                               [](IPCObject* s) { return s->state() == IQEndpointClient::READY; });
        }, std::chrono::seconds(60)));
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
            if (const std::optional<uint32_t> interval = askedInterval(frame, isLegacy_)) {
                codec.interval_ms = *interval;
                // "2024-05-01T12:00:00.123456Z"
                const QTime time = QTime::fromString(QString::fromLatin1(parts[0].mid(11, 8)), QStringLiteral("HH:mm:ss"));
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
void toTheEnd(MeteringPaceTest& t) { t.tiles().setValue(t.tiles().maximum()); }
void toTheTop(MeteringPaceTest& t) { t.tiles().setValue(0); }
bool firstFastLastNot(MeteringPaceTest& t) { return t.isAskedFor(0, kFast) && t.isAskedFor(t.last(), kNone); }
bool lastFastFirstNot(MeteringPaceTest& t) {
    return !t.isTileInSight(0) && t.isAskedFor(0, kNone) && t.isAskedFor(t.last(), kFast);
}
bool firstBackAndMoving(MeteringPaceTest& t) { return t.isAskedFor(0, kFast) && t.tileMeterMoves(0); }
bool isSortedByLevel(MeteringPaceTest& t) {
    QTreeWidget& tree = t.tree();
    for (int index = 1; index < tree.topLevelItemCount(); ++index) {
        const QVariant above = tree.topLevelItem(index - 1)->data(ZorvaStatRow::kLevelsColumn, ZorvaStatRow::kLevelSortRole);
        const QVariant here = tree.topLevelItem(index)->data(ZorvaStatRow::kLevelsColumn, ZorvaStatRow::kLevelSortRole);
        if (!above.isValid() || !here.isValid() || above.toFloat() > here.toFloat()) return false;
    }
    return true;
}

// 48 codecs: the window shows the first tiles and rows; the last ones are out of sight, and the
// first ones once scrolled to the end.
const std::vector<Scenario> kScenarios = {
    {"TileScrolledOutAndBackIn",
     CodecSimMode::kNormal,
     {{"at the top", nothing, firstFastLastNot},
      {"at the end", toTheEnd, lastFastFirstNot},
      {"back at the top", toTheTop, firstBackAndMoving}}},
    {"TreeView",
     CodecSimMode::kNormal,
     {{"rows", [](MeteringPaceTest& t) { t.view().showStatsOverview(); },
       [](MeteringPaceTest& t) {
           return t.isRowInSight(t.codecOfRow(0)) && !t.isRowInSight(t.codecOfRow(-1)) &&
                  t.isAskedFor(t.codecOfRow(0), kFast) && t.isAskedFor(t.codecOfRow(-1), kNone);
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
           return t.isAskedFor(t.codecOfRow(-1), kSorting) && wait_processing_events([&] { return isSortedByLevel(t); });
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

class MeteringScenarioTest : public MeteringPaceTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(MeteringScenarioTest, LevelsAreAskedForAsTheViewsShowThem) {
    startCodecs(48, GetParam().mode);
    ASSERT_TRUE(isTileInSight(0));
    ASSERT_FALSE(isTileInSight(last()));
    for (const Step& step : GetParam().steps) {
        step.act(*this);
        EXPECT_TRUE(step.holds(*this)) << step.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, MeteringScenarioTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& row) { return std::string(row.param.name); });

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
