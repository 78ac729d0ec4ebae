// The details dock while the operator switches among a full fleet: 250 simulated codecs and six
// that refuse every login. After every switch, and after the reports that follow, every panel
// shows the active codec and nothing of another: checked against the session's own data and
// against codec-sim's model of that codec.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>

#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <set>

#include "app/dock/peer_items.h"
#include "app/dock/profile_list_panel.h"
#include "app/dock/stats_table.h"
#include "app/shared/delay_graph.h"
#include "app/shared/loss_graph.h"
#include "app/shared/meter_widget.h"
#include "app/shared/monitoring_meter.h"
#include "app/tunnel/braidlink_stats.h"
#include "app/tunnel/delay_slider.h"
#include "app/tunnel/ifc_button.h"
#include "tests/app/dock/dock_fixture.h"
#include "tests/support/message_box_recorder.h"
#include "tools/codec-sim/codec_model.h"

namespace {

using app_test::DockFixture;
using test_support::wait_processing_events;

constexpr int kReadyCodecs = 250;
constexpr int kRefusingCodecs = 6;
constexpr int kRandomSwitches = 500;
constexpr unsigned kSeed = 20240501;

// What codec-sim's model says of codec i before anyone changed it.
struct ModelFacts {
    QString unitName;
    QStringList peerNames;  // in the codec's order: the address book, then the directory's
    QStringList profileNames;
    QString firmware;
};

QStringList childNames(const Message& reply, const char* child, const char* inner) {
    QStringList names;
    for (unsigned i = 0; i < reply.child_count(child); ++i) {
        const Message& node = reply.get_child(child, i);
        const Message& named = inner ? node.get_child(inner, 0) : node;
        names << QString::fromStdString(named.attributes().get_string("name", ""));
    }
    return names;
}

ModelFacts factsOf(int index) {
    CodecModel model(index);
    const auto ask = [&model](const char* request) {
        Message message;
        message.set_name(request);
        message.attributes().set("seq", "facts");  // without one the codec answers without children
        Message reply;
        reply.set_name("resp");
        model.handle_request(message, 0, reply);
        return reply;
    };
    return {QString::fromStdString(model.unit_name()), childNames(ask("getPeerList"), "peer", nullptr),
            childNames(ask("getProfileList"), "profile", "settings"),
            QString::fromStdString(ask("getVersion").attributes().get_string("version", ""))};
}

std::string joined(const QStringList& texts) {
    return texts.join(QLatin1Char('|')).toStdString();
}

struct Codec {
    IPCObject* session;
    uint16_t port;
    int index;  // in its fleet
    bool isRefusing;
    ModelFacts model;
};

class DockSwitching : public DockFixture {
protected:
    // Checks every panel against `codec`. `stage` names the moment: right after the switch, the
    // statistics table has just been rebuilt; after a report, only the panels that report rebuilds.
    void expectShows(const Codec& codec, const char* stage, bool areStatsCurrent, bool areButtonsCurrent) {
        SCOPED_TRACE(std::string(stage) + " of codec " + std::to_string(codec.index) +
                     (codec.isRefusing ? " (refusing)" : ""));
        IPCObject& session = *codec.session;
        ASSERT_EQ(dock().session(), &session);
        const bool isReady = session.state() == IQEndpointClient::READY;
        EXPECT_EQ(isReady, !codec.isRefusing);
        // A codec that never logged in is named by its address alone, as its row and tile name it.
        const QString address = QStringLiteral("127.0.0.1:%1").arg(codec.port);
        EXPECT_EQ(
            (child<QLabel>("nameLabel")->text() + child<QLabel>("addressLabel")->text()).toStdString(),
            (codec.isRefusing ? address : QStringLiteral("%1 (%2)").arg(codec.model.unitName, address)).toStdString());

        // Peers and profiles, only while READY.
        QList<PeerMetaPtr> peers;
        QStringList profileTexts;
        QSet<int> statsRows;
        {
            std::lock_guard<SessionMutex> lock(session.mutex());
            peers = session.bookPeers + session.directoryPeers;
            for (const ProfileInfo& profile : session.profiles)
                profileTexts << (profile.isDefault ? '<' + profile.name + '>' : profile.name);
            for (const PeerMetaPtr& peer : session.activePeers) {
                const int id = peer->id.toInt();
                if (peer->channel && session.peerStatsById.contains(id) &&
                    session.channelStatsById.contains(peer->channel->channel.toInt()))
                    statsRows << id;
            }
        }
        QStringList rowIds, rowNames, expectedIds;
        for (int row = 0; row < peerTree()->topLevelItemCount(); ++row) {
            rowIds << peerTree()->topLevelItem(row)->data(0, kPeerIdRole).toString();
            rowNames << peerTree()->topLevelItem(row)->text(0);
        }
        QStringList shownProfiles;
        for (int row = 0; row < profileList()->count(); ++row) shownProfiles << profileList()->item(row)->text();
        if (isReady) {
            for (const PeerMetaPtr& peer : peers) expectedIds << peer->id;
            EXPECT_EQ(joined(rowIds), joined(expectedIds));
            EXPECT_EQ(joined(rowNames), joined(codec.model.peerNames));
            EXPECT_EQ(joined(shownProfiles), joined(profileTexts));
            const QStringList plainProfiles =
                QStringList(shownProfiles).replaceInStrings(QRegularExpression("^<(.*)>$"), "\\1");
            EXPECT_EQ(joined(plainProfiles), joined(codec.model.profileNames));
            EXPECT_EQ(child<QLabel>("firmwareLabel")->text().toStdString(), codec.model.firmware.toStdString());
        } else {
            EXPECT_TRUE(rowIds.isEmpty());
            EXPECT_TRUE(shownProfiles.isEmpty());
            EXPECT_TRUE(child<QLabel>("firmwareLabel")->text().isEmpty());
        }

        // Statistics rows, graphs and meter.
        QSet<int> shownRows;
        for (int row = 0; row < statsTable()->topLevelItemCount(); ++row)
            shownRows << statsTable()->topLevelItem(row)->data(0, StatsTable::kPeerIdRole).toInt();
        if (areStatsCurrent) {
            EXPECT_EQ(shownRows, statsRows);
        } else {
            for (int id : shownRows) EXPECT_TRUE(session.peerById.contains(id)) << id;
        }
        EXPECT_EQ(child<DelayGraph>("delayGraph")->shownData(), &session.delayGraph);
        EXPECT_EQ(child<LossGraph>("lossGraph")->shownData(), &session.lossGraph);
        EXPECT_EQ(child<MonitoringMeter>("meters")->session(), &session);

        // The tunnel page: lent to this codec's tunnel session only.
        QWidget* buttons = child<BraidlinkStats>("braidlinkStats")->findChild<QWidget*>("ifcWidget");
        const int buttonCount = buttons->findChildren<IFCButton*>(QString(), Qt::FindDirectChildrenOnly).size();
        if (TunnelSession* tunnel = session.tunnelInfo.session()) {
            EXPECT_EQ(tunnel->ifcWidget(), buttons);
            if (areButtonsCurrent) {
                EXPECT_EQ(buttonCount, 2 * static_cast<int>(tunnel->connections().size()));
            }
            auto* slider = child<BraidlinkStats>("braidlinkStats")->findChild<DelaySlider*>("txSlider");
            EXPECT_EQ(slider->value(), qBound(slider->minimum(), tunnel->txStats.max_allowed_delay, slider->maximum()));
        } else {
            EXPECT_EQ(buttonCount, 0);
        }
        for (const Codec& other : codecs) {
            TunnelSession* tunnel = other.session->tunnelInfo.session();
            if (other.session != &session && tunnel) {
                EXPECT_EQ(tunnel->ifcWidget(), nullptr) << other.index;
            }
        }

        // The log: the codec's event log as stored, with every line this program wrote about the
        // codec where it came, those written while another codec was shown too.
        EXPECT_EQ(joined(dock().eventLogPanel().lines()), joined(session.deviceLog.linesAmongEventLog()));
    }

    // Makes `codec` active and checks the dock now and whenever the codec reports from now on.
    void select(const Codec& codec) {
        const bool isSwitch = dock().session() != codec.session;
        window->activeInstanceSelected(codec.session);
        if (isSwitch) {
            for (const char* bar : {"rxl", "rxr", "txl", "txr"}) {
                const auto* meter = child<MonitoringMeter>("meters")->findChild<MeterWidget*>(bar);
                EXPECT_TRUE(meter->level() == 0 && !meter->hasSecondLevel()) << bar;
            }
        }
        expectShows(codec, "after the switch", true, false);

        delete checks;  // cuts the checks of the codec shown before
        checks = new QObject;
        IPCObject* session = codec.session;
        const auto recheck = [this, shown = &codec](const char* stage, bool areStatsCurrent, bool areButtonsCurrent) {
            return [=] { expectShows(*shown, stage, areStatsCurrent, areButtonsCurrent); };
        };
        QObject::connect(session, &IPCObject::recvPeerList, checks, recheck("after a peer list", false, false));
        QObject::connect(session, &IPCObject::recvProfileList, checks, recheck("after profiles", false, false));
        QObject::connect(session, &IPCObject::recvChannelStats, checks, [this] { ++channelReports; });
        QObject::connect(session, &IPCObject::recvChannelStats, checks,
                         recheck("after channel statistics", true, false));
        QObject::connect(session, &IPCObject::recvTunStats, checks, recheck("after tunnel statistics", false, true));
        QObject::connect(session, &IPCObject::recvEventLog, checks, recheck("after event-log lines", false, false));
        QObject::connect(&session->deviceLog, &DeviceLog::lineAdded, checks,
                         recheck("after a device-log line", false, false));
    }

    // Connects the first idle address-book peer of the active codec, and has it take the operator's
    // tunnel delay mode; both must reach that codec only.
    void connectAPeer(const Codec& codec) {
        SCOPED_TRACE("connect on codec " + std::to_string(codec.index));
        QTreeWidgetItem* idle = nullptr;
        for (int row = 0; row < peerTree()->topLevelItemCount() && !idle; ++row) {
            QTreeWidgetItem* item = peerTree()->topLevelItem(row);
            if (!item->data(0, kPeerActiveRole).toBool() && !item->data(0, kPeerDirectoryRole).toBool()) idle = item;
        }
        if (!idle) return;
        peerTree()->setCurrentItem(idle);
        if (profileList()->selectedItems().isEmpty()) profileList()->setCurrentRow(0);
        auto* button = child<QPushButton>("connectButton");
        ASSERT_TRUE(wait_processing_events([button] { return button->isEnabled(); }));
        button->click();
        const std::vector<app_test::RecordedFrame> connects = waitForFrames("connect", ++connectsSent);
        EXPECT_EQ(connects.size(), connectsSent);
        EXPECT_EQ(connects.back().port, codec.port);
        EXPECT_EQ(connects.back().message.attributes().get_string("id", ""),
                  idle->data(0, kPeerIdRole).toString().toStdString());

        if (!codec.session->tunnelInfo.session()) return;
        child<BraidlinkStats>("braidlinkStats")->findChild<QCheckBox*>("txAutoCheck")->click();
        const std::vector<app_test::RecordedFrame> delays = waitForFrames("setMaxDelay", ++delaysSent);
        EXPECT_EQ(delays.size(), delaysSent);
        EXPECT_EQ(delays.back().port, codec.port);
        EXPECT_EQ(delays.back().message.attributes().get_int("sid", 0), 7000 + codec.index);
    }

    std::vector<Codec> codecs;
    QObject* checks = nullptr;  // owns the checks' connections to the active codec
    int channelReports = 0;
    size_t connectsSent = 0;
    size_t delaysSent = 0;
};

TEST_F(DockSwitching, EveryPanelShowsOnlyTheActiveCodec) {
    MessageBoxRecorder boxes;  // a codec with every channel taken refuses the next connect, which the notice tells
    QElapsedTimer clock;
    clock.start();
    CodecSim& ready = startFleet(kReadyCodecs);
    CodecSim& refusing = startFleet(kRefusingCodecs, CodecSimMode::kRefuse);
    for (int i = 0; i < kReadyCodecs + kRefusingCodecs; ++i) {
        const bool isRefusing = i >= kReadyCodecs;
        const int index = isRefusing ? i - kReadyCodecs : i;
        const uint16_t port = (isRefusing ? refusing : ready).ports()[static_cast<size_t>(index)];
        IPCObject* session = findInstance(window->createInstance());
        ASSERT_NE(session, nullptr) << i;
        session->setEventLogPolling(i % 4 == 0);  // some codecs feed the log view
        session->setConnection(QStringLiteral("127.0.0.1"), port, QStringLiteral("tarnel"));
        window->summary()->addInstance(session);
        codecs.push_back({session, port, index, isRefusing, isRefusing ? ModelFacts{} : factsOf(index)});
    }
    ASSERT_TRUE(wait_processing_events(
        [this] {
            for (const Codec& codec : codecs) {
                const auto state = codec.session->state();
                if (state != (codec.isRefusing ? IQEndpointClient::AUTH_FAILED : IQEndpointClient::READY)) return false;
            }
            return true;
        },
        test_support::give_up_after(std::chrono::seconds(40))));
    const qint64 connectedMs = clock.elapsed();

    // In sight, the dock's codec reports its statistics at its own pace.
    window->show();
    for (const Codec& codec : codecs) select(codec);
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<size_t> anyCodec(0, codecs.size() - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    const Codec* current = &codecs.back();
    for (int step = 0; step < kRandomSwitches; ++step) {
        if (percent(random) >= 25) current = &codecs[anyCodec(random)];  // else selected again
        select(*current);
        if (current->isRefusing) continue;
        if (step % 10 == 0) {
            const int seen = channelReports;
            ASSERT_TRUE(wait_processing_events([&] { return channelReports > seen; }));
        }
        if (step % 25 == 0) connectAPeer(*current);
    }
    delete checks;
    checks = nullptr;
    EXPECT_GE(connectsSent, 10u);
    std::cout << "codecs READY after " << connectedMs << " ms; " << codecs.size() << " selections and "
              << kRandomSwitches << " switches, " << connectsSent << " connects, done after " << clock.elapsed()
              << " ms\n";
}

}  // namespace
