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
#include <memory>
#include <string>
#include <vector>

#include "app/fleet/instance_widget.h"
#include "app/fleet/zorva_stat_row.h"
#include "app/fleet/zorva_summary.h"
#include "app/shared/frame_clock.h"
#include "app/shared/meter_widget.h"
#include "app/shared/mini_meter.h"
#include "app/shell/config_paths.h"
#include "sessions/meter_pacer.h"
#include "tests/app/dock/dock_fixture.h"

namespace {

using app_test::DockFixture;
using test_support::wait_processing_events;

constexpr uint32_t kFast = MeterPacer::kDrawnInterval.count();
constexpr uint32_t kSorting = MeterPacer::kSortingInterval.count();
constexpr uint32_t kNone = 0;

// What a codec was asked on its newest connection (since its last "login").
struct Asked {
    uint32_t interval_ms = kNone;  // of its levels; none before the first request
    std::vector<double> at_s;      // when each request about its levels came, seconds of the day
};

// One metering request as the codec sees it: the interval it asks for, or none when it is not about
// the levels. A subscribing codec is paced by its subscription (its "monitor" is only the codec's
// own switch), a legacy one by "monitor".
std::optional<uint32_t> askedInterval(const Message& frame, bool isLegacy) {
    const Message::Attributes& attributes = frame.attributes();
    if (frame.name() == "monitor" && (isLegacy || !attributes.get_bool("metering", true))) {
        if (!attributes.has("metering")) return std::nullopt;
        return attributes.get_bool("metering", false) ? attributes.get_uint("meterInterval", 0) : kNone;
    }
    if (frame.name() != "subscribe" && frame.name() != "unsubscribe") return std::nullopt;
    for (int index = 0; index < frame.size(); ++index) {
        const Message& sub = frame.get_child(index);
        if (sub.attributes().get_string("id", "") != "metering") continue;
        return frame.name() == "subscribe" ? sub.attributes().get_uint("interval", 0) : kNone;
    }
    return std::nullopt;
}

class MeteringPaceTest : public DockFixture {
public:
    using AppFixture::window;
    using DockFixture::child;

    // `count` codecs of `mode`, each with its tile and row, all READY, in a window of a laptop's
    // size showing the top of the tile page.
    void startCodecs(int count, CodecSimMode mode = CodecSimMode::kNormal) {
        isLegacy_ = mode == CodecSimMode::kLegacy;
        CodecSim& fleet = startFleet(count, mode);
        for (const uint16_t port : fleet.ports()) sessions_.push_back(addCodec(port));
        window->summary()->layoutTiles();
        window->resize(1366, 768);
        window->show();
        window->summary()->showGeneralOverview();
        ASSERT_TRUE(wait_processing_events([&] {
            return std::all_of(sessions_.begin(), sessions_.end(),
                               [](IPCObject* s) { return s->state() == IQEndpointClient::READY; });
        }, std::chrono::seconds(60)));
    }

    IPCObject& codec(int index) { return *sessions_.at(static_cast<size_t>(index)); }
    int last() const { return static_cast<int>(sessions_.size()) - 1; }
    uint16_t port(int index) const { return fleets.front()->ports().at(static_cast<size_t>(index)); }
    ZorvaSummary& view() { return *window->summary(); }
    QTreeWidget& tree() { return *view().findChild<QTreeWidget*>(QStringLiteral("summaryTree")); }
    QScrollBar& tileScrollBar() {
        return *view().findChild<QScrollArea*>(QStringLiteral("scrollArea"))->verticalScrollBar();
    }
    const InstanceWidget& tile(int index) { return *view().tile(keyOf(index)); }
    QUuid keyOf(int index) {
        for (InstanceWidget* each : window->findChildren<InstanceWidget*>()) {
            if (each->session() == &codec(index)) return each->key();
        }
        return {};
    }
    bool isTileInSight(int index) { return FrameClock::isInSight(*tile(index).miniMeter()); }
    const ZorvaStatRow& row(int index) { return *view().summaryRow(keyOf(index)); }
    // The codec of the tree's row at `position` from the top, in the order shown.
    int codecOfRow(int position) {
        const QTreeWidgetItem* item = tree().topLevelItem(position);
        for (int index = 0; index <= last(); ++index) {
            if (row(index).item() == item) return index;
        }
        return -1;
    }
    int lastRow() { return tree().topLevelItemCount() - 1; }
    bool isRowInSight(int index) {
        const MiniMeter* meter = row(index).existingMeter();
        return meter && FrameClock::isInSight(*meter);
    }

    // What every codec has been asked since its last login, by port, from the fleet's record.
    std::map<int, Asked> askedByPort() const {
        std::map<int, Asked> asked;
        QFile file(recordPath(0));
        if (!file.open(QIODevice::ReadOnly)) return asked;
        while (!file.atEnd()) {
            // "<time> <port> <frame>"
            const QByteArray line = file.readLine().trimmed();
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() < 3) continue;
            const int frame_start = parts[0].size() + parts[1].size() + 2;
            Message frame;
            try {
                frame.parse(line.mid(frame_start).toStdString());
            } catch (const std::exception&) {
                continue;
            }
            Asked& codec_asked = asked[parts[1].toInt()];
            if (frame.name() == "login") codec_asked = Asked();
            if (const std::optional<uint32_t> interval = askedInterval(frame, isLegacy_)) {
                codec_asked.interval_ms = *interval;
                codec_asked.at_s.push_back(secondsOfDay(parts[0]));
            }
        }
        return asked;
    }
    Asked asked(int index) const { return askedByPort()[port(index)]; }

    // Waits until codec `index` has last been asked for `interval_ms`.
    bool isAskedFor(int index, uint32_t interval_ms) {
        return wait_processing_events([&] { return asked(index).interval_ms == interval_ms; });
    }

    // Waits until the window's frame clock has ended a frame more.
    void waitForFrame() {
        int frames = 0;
        QMetaObject::Connection counting =
            QObject::connect(FrameClock::of(*window), &FrameClock::frameEnded, [&frames] { ++frames; });
        EXPECT_TRUE(wait_processing_events([&] { return frames > 0; }));
        QObject::disconnect(counting);
    }

    void showMetersTabOf(int index) {
        window->activeInstanceSelected(&codec(index));
        child<QTabWidget>("statusTabWidget")->setCurrentWidget(child<QWidget>("meterTab"));
    }

    // The moving meter of a tile whose codec reports quickly: its transmit bar changes.
    bool tileMeterMoves(int index) {
        auto* bar = tile(index).miniMeter()->findChild<MeterWidget*>(QStringLiteral("txl"));
        const float shown = bar ? bar->level() : -1;
        return wait_processing_events([&] {
            bar = tile(index).miniMeter()->findChild<MeterWidget*>(QStringLiteral("txl"));
            return bar && bar->level() != shown;
        });
    }

    static double secondsOfDay(const QByteArray& stamp) {
        // "2024-05-01T12:00:00.123456Z"
        const QTime time = QTime::fromString(QString::fromLatin1(stamp.mid(11, 8)), QStringLiteral("HH:mm:ss"));
        return time.msecsSinceStartOfDay() / 1000.0 + stamp.mid(19, 7).toDouble();
    }

    std::vector<IPCObject*> sessions_;  // in the order of their codecs' ports

private:
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

// The window shows the first tiles and rows of 48 codecs; the last tile and row are out of sight, and
// the first ones once scrolled to the end.
const std::vector<Scenario> kScenarios = {
    {"TileScrolledOutAndBackIn",
     CodecSimMode::kNormal,
     {{"in sight", [](MeteringPaceTest&) {}, [](MeteringPaceTest& t) { return t.isAskedFor(0, kFast); }},
      {"out of sight", [](MeteringPaceTest&) {}, [](MeteringPaceTest& t) { return t.isAskedFor(t.last(), kNone); }},
      {"scrolled out", [](MeteringPaceTest& t) { t.tileScrollBar().setValue(t.tileScrollBar().maximum()); },
       [](MeteringPaceTest& t) {
           return !t.isTileInSight(0) && t.isAskedFor(0, kNone) && t.isAskedFor(t.last(), kFast);
       }},
      {"scrolled back in", [](MeteringPaceTest& t) { t.tileScrollBar().setValue(0); },
       [](MeteringPaceTest& t) { return t.isAskedFor(0, kFast) && t.tileMeterMoves(0); }}}},
    {"TreeView",
     CodecSimMode::kNormal,
     {{"rows shown", [](MeteringPaceTest& t) { t.view().showStatsOverview(); },
       [](MeteringPaceTest& t) {
           const int top = t.codecOfRow(0);
           const int bottom = t.codecOfRow(t.lastRow());
           return t.isRowInSight(top) && !t.isRowInSight(bottom) && t.isAskedFor(top, kFast) &&
                  t.isAskedFor(bottom, kNone);
       }},
      {"scrolled to the last row", [](MeteringPaceTest& t) { t.tree().scrollToBottom(); },
       [](MeteringPaceTest& t) {
           const int top = t.codecOfRow(0);
           const int bottom = t.codecOfRow(t.lastRow());
           return !t.isRowInSight(top) && t.isAskedFor(top, kNone) && t.isAskedFor(bottom, kFast);
       }}}},
    {"TreeSortedByLevels",
     CodecSimMode::kNormal,
     {{"sorted", [](MeteringPaceTest& t) {
           t.view().showStatsOverview();
           t.tree().sortByColumn(ZorvaStatRow::kLevelsColumn, Qt::AscendingOrder);
       },
       [](MeteringPaceTest& t) {
           return t.isAskedFor(t.last(), kSorting) && wait_processing_events([&] {
                      QTreeWidget& tree = t.tree();
                      for (int index = 1; index < tree.topLevelItemCount(); ++index) {
                          const QVariant above =
                              tree.topLevelItem(index - 1)->data(ZorvaStatRow::kLevelsColumn, ZorvaStatRow::kLevelSortRole);
                          const QVariant here =
                              tree.topLevelItem(index)->data(ZorvaStatRow::kLevelsColumn, ZorvaStatRow::kLevelSortRole);
                          if (!above.isValid() || !here.isValid() || above.toFloat() > here.toFloat()) return false;
                      }
                      return true;
                  });
       }},
      {"back to the tiles", [](MeteringPaceTest& t) { t.view().showGeneralOverview(); },
       [](MeteringPaceTest& t) { return t.isAskedFor(t.last(), kNone) && t.isAskedFor(0, kFast); }}}},
    {"TheDocksCodec",
     CodecSimMode::kNormal,
     {{"meters tab", [](MeteringPaceTest& t) { t.showMetersTabOf(t.last()); },
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
      {"restored", [](MeteringPaceTest& t) { t.window->showNormal(); },
       [](MeteringPaceTest& t) { return t.isAskedFor(0, kFast); }}}},
    {"MeteringOffAndOn",
     CodecSimMode::kNormal,
     {{"switched off",
       [](MeteringPaceTest& t) {
           t.window->activeInstanceSelected(&t.codec(0));
           t.window->disableMetering();
       },
       [](MeteringPaceTest& t) { return t.isAskedFor(0, kNone) && !t.codec(0).meteringOn; }},
      {"scrolled away and back: still off, and stored so",
       [](MeteringPaceTest& t) {
           t.tileScrollBar().setValue(t.tileScrollBar().maximum());
           t.waitForFrame();
           t.tileScrollBar().setValue(0);
           t.waitForFrame();
           t.window->saveConfig();
       },
       [](MeteringPaceTest& t) {
           QFile config(configFilePath());
           const QByteArray record = QStringLiteral("port=\"%1\"").arg(t.port(0)).toUtf8();
           bool isStoredOff = false;
           if (config.open(QIODevice::ReadOnly)) {
               for (const QByteArray& line : config.readAll().split('\n')) {
                   if (line.contains(record)) isStoredOff = line.contains("metering=\"false\"");
               }
           }
           return isStoredOff && !t.codec(0).meteringOn && t.asked(0).interval_ms == kNone;
       }},
      {"switched on", [](MeteringPaceTest& t) { t.window->enableMetering(); },
       [](MeteringPaceTest& t) { return t.isAskedFor(0, kFast) && t.codec(0).meteringOn; }}}},
    {"Reconnect",
     CodecSimMode::kNormal,
     {{"every codec reconnected",
       [](MeteringPaceTest& t) {
           for (IPCObject* session : t.sessions_) session->disconnectIPC();
           for (IPCObject* session : t.sessions_) session->reconnectIPC();
       },
       [](MeteringPaceTest& t) {
           // Asked afresh as the view stands: the unseen codec is never asked for levels.
           return wait_processing_events([&] {
               return std::all_of(t.sessions_.begin(), t.sessions_.end(),
                                  [](IPCObject* s) { return s->state() == IQEndpointClient::READY; });
           }) && t.isAskedFor(0, kFast) && t.asked(t.last()).at_s.empty();
       }}}},
    {"LegacyCodec",
     CodecSimMode::kLegacy,
     {{"in sight", [](MeteringPaceTest&) {}, [](MeteringPaceTest& t) { return t.isAskedFor(0, kFast); }},
      {"scrolled out", [](MeteringPaceTest& t) { t.tileScrollBar().setValue(t.tileScrollBar().maximum()); },
       [](MeteringPaceTest& t) {
           return !t.isTileInSight(0) && t.isAskedFor(0, kNone) && t.isAskedFor(t.last(), kFast);
       }},
      {"scrolled back in", [](MeteringPaceTest& t) { t.tileScrollBar().setValue(0); },
       [](MeteringPaceTest& t) { return t.isAskedFor(0, kFast) && t.tileMeterMoves(0); }}}},
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
    QScrollBar& bar = tileScrollBar();
    while (bar.value() < bar.maximum()) {
        bar.setValue(bar.value() + bar.pageStep());
        waitForFrame();
    }
    std::vector<int> shown;
    for (int index = 0; index < 256; ++index) {
        if (isTileInSight(index)) shown.push_back(index);
    }
    ASSERT_FALSE(shown.empty());
    const auto isSettled = [&] {
        const std::map<int, Asked> asked = askedByPort();
        for (int index = 0; index < 256; ++index) {
            const bool isShown = std::find(shown.begin(), shown.end(), index) != shown.end();
            const auto found = asked.find(port(index));
            const uint32_t interval = found == asked.end() ? kNone : found->second.interval_ms;
            if (interval != (isShown ? kFast : kNone)) return false;
        }
        return true;
    };
    ASSERT_TRUE(wait_processing_events(isSettled));

    size_t requests = 0;
    for (const auto& [codec_port, codec_asked] : askedByPort()) {
        requests += codec_asked.at_s.size();
        EXPECT_LE(codec_asked.at_s.size(), 2u) << codec_port;
        // The codec's clock of arrival, not the pacer's of sending: a margin for a late first frame.
        for (size_t i = 1; i < codec_asked.at_s.size(); ++i) {
            EXPECT_GE(codec_asked.at_s[i] - codec_asked.at_s[i - 1], 0.2) << codec_port;
        }
    }
    EXPECT_LE(requests, 2u * 256u);
}

}  // namespace
