// The details dock on live codecs: connecting and disconnecting a peer from end to end, commands
// for ids the codec did not write as numbers, the log panel's Save and Reset, and a codec that
// floods the dock with text.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpServer>
#include <QTest>
#include <QTextBlock>
#include <QTextCodec>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "app/dock/peer_items.h"
#include "app/dock/profile_list_panel.h"
#include "app/dock/stats_table.h"
#include "app/shared/codec_text.h"
#include "app/shared/delay_graph.h"
#include "app/shared/elided_label.h"
#include "app/shared/loss_graph.h"
#include "app/shared/view_colours.h"
#include "app/shell/instance_registry.h"
#include "scheduler/codec_sessions.h"
#include "sessions/event_log_merger.h"
#include "sessions/session_requests.h"
#include "tests/app/dock/dock_fixture.h"
#include "tests/app/paint_counter.h"
#include "tests/app/popup_menu.h"
#include "tests/app/widget_image.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/unplaced_session.h"

namespace {

using app_test::DockFixture;
using app_test::RecordedFrame;
using test_support::wait_processing_events;

class DockTest : public DockFixture {
protected:
    DockTest() { startFleet(1); }

    QTreeWidgetItem* peerRow(const QString& id) {
        for (int row = 0; row < peerTree()->topLevelItemCount(); ++row) {
            QTreeWidgetItem* item = peerTree()->topLevelItem(row);
            if (item->data(0, kPeerIdRole).toString() == id) return item;
        }
        return nullptr;
    }

    bool isActiveRow(const QString& id) {
        QTreeWidgetItem* row = peerRow(id);
        return row && row->data(0, kPeerActiveRole).toBool();
    }

    bool hasStatsRow(const QString& id) {
        for (int row = 0; row < statsTable()->topLevelItemCount(); ++row) {
            if (statsTable()->topLevelItem(row)->data(0, StatsTable::kPeerIdRole).toString() == id) return true;
        }
        return false;
    }

    // Opens the statistics table's menu on the row of the call to `peer` (by name), runs `meanwhile`,
    // then chooses "Disconnect this peer". The window must be shown.
    void disconnectFromStatsMenu(const QString& peer, const std::function<void()>& meanwhile = {}) {
        const QTreeWidgetItem* row = statsTable()->findItems(peer, Qt::MatchExactly).value(0);
        ASSERT_NE(row, nullptr);
        app_test::onNextPopup([&](QMenu& menu) {
            if (meanwhile) meanwhile();
            menu.actions().value(0)->trigger();
        });
        emit statsTable()->customContextMenuRequested(statsTable()->visualItemRect(row).center());
    }

    int logCount(const QString& text) { return child<QTextEdit>("eventLogText")->toPlainText().count(text); }

    // Selects `peer`, which selects its own profile, then another profile, not the unit's default;
    // returns the other profile's id.
    QString choosePeerWithAnotherProfile(QTreeWidgetItem* peer) {
        peerTree()->setCurrentItem(peer);
        const QListWidgetItem* own = profileList()->selectedItems().value(0);
        EXPECT_NE(own, nullptr);
        for (int row = 0; row < profileList()->count(); ++row) {
            QListWidgetItem* item = profileList()->item(row);
            if (item != own && !item->data(kProfileDefaultRole).toBool()) profileList()->setCurrentItem(item);
        }
        const QString profile = profileList()->selectedItems().value(0)->data(kProfileIdRole).toString();
        EXPECT_NE(profile, own ? own->data(kProfileIdRole).toString() : QString());
        return profile;
    }
};

// The main road: a peer and another profile are picked, Connect assigns the profile and connects;
// the row turns active, a statistics row and the graphs follow, the device log says so once.
// Disconnect, from the button and then from the statistics table's menu, reverses it.
TEST_F(DockTest, ConnectsAndDisconnectsAPeer) {
    IPCObject* session = selectReadyCodec(fleets[0]->ports()[0]);
    ASSERT_GT(peerTree()->topLevelItemCount(), 0);
    QTreeWidgetItem* peer = peerTree()->topLevelItem(0);  // an address-book peer, not connected
    const QString id = peer->data(0, kPeerIdRole).toString();
    const QString name = peer->text(0);
    ASSERT_FALSE(peer->data(0, kPeerActiveRole).toBool());
    const QString profile = choosePeerWithAnotherProfile(peer);
    auto* connectButton = child<QPushButton>("connectButton");
    ASSERT_TRUE(wait_processing_events([&] { return connectButton->isEnabled(); }));
    connectButton->click();

    const std::vector<RecordedFrame> assigned = waitForFrames("setPeerSettings", 1);
    const std::vector<RecordedFrame> connects = waitForFrames("connect", 1);
    ASSERT_EQ(assigned.size(), 1u);
    EXPECT_EQ(assigned[0].message.attributes().get_string("id", ""), id.toStdString());
    EXPECT_EQ(assigned[0].message.attributes().get_string("profile", ""), profile.toStdString());
    EXPECT_EQ(connects.back().message.attributes().get_string("id", ""), id.toStdString());
    EXPECT_LT(assigned[0].line, connects.back().line);

    ASSERT_TRUE(wait_processing_events([&] { return isActiveRow(id); }));
    peer = peerRow(id);
    EXPECT_EQ(peer->background(4).color(), activePeerBackground);
    EXPECT_FALSE(peer->text(2).isEmpty()) << "channel state";
    EXPECT_FALSE(peer->text(3).isEmpty()) << "receive codec";
    EXPECT_TRUE(peer->isSelected());  // the update kept the operator's selection
    ASSERT_TRUE(wait_processing_events([&] { return hasStatsRow(id); }));
    EXPECT_EQ(dock().activePeerId(), id);
    auto* delayGraph = child<DelayGraph>("delayGraph");
    EXPECT_EQ(delayGraph->shownData(), &session->delayGraph);
    EXPECT_EQ(child<LossGraph>("lossGraph")->shownData(), &session->lossGraph);
    ASSERT_TRUE(wait_processing_events([&] { return session->delayGraph.hasData(id.toInt()); }));
    EXPECT_EQ(session->delayGraph.peer(), id.toInt());
    const QString started = QStringLiteral("Audio connection started. Active peers: ") + name;
    EXPECT_EQ(logCount(started), 1);

    auto* disconnectButton = child<QPushButton>("disconnectButton");
    ASSERT_TRUE(wait_processing_events([&] { return disconnectButton->isEnabled(); }));
    disconnectButton->click();
    std::vector<RecordedFrame> disconnects = waitForFrames("disconnect", 1);
    EXPECT_EQ(disconnects.back().message.attributes().get_string("id", ""), id.toStdString());
    ASSERT_TRUE(wait_processing_events([&] { return !isActiveRow(id) && !hasStatsRow(id); }));
    EXPECT_EQ(peerRow(id)->background(0).color(), idlePeerBackground);
    EXPECT_TRUE(dock().activePeerId().isEmpty());  // no peer left to follow
    EXPECT_EQ(logCount(QStringLiteral("Audio connection ended. Disconnected peers: ") + name), 1);

    // Again, with the peer's profile now the selected one: only "connect" goes out.
    ASSERT_TRUE(wait_processing_events([&] { return connectButton->isEnabled(); }));
    connectButton->click();
    ASSERT_TRUE(wait_processing_events([&] { return hasStatsRow(id); }));
    EXPECT_EQ(recorded("setPeerSettings").size(), 1u);
    window->show();
    disconnectFromStatsMenu(name);
    disconnects = waitForFrames("disconnect", 2);
    EXPECT_EQ(disconnects.back().message.attributes().get_string("id", ""), id.toStdString());
    ASSERT_TRUE(wait_processing_events([&] { return !isActiveRow(id); }));
    EXPECT_EQ(logCount(started), 2);
}

// The statistics table shows, after every report, the calls the session holds figures for: a row
// comes with the first peer statistics of a call and goes with the peer list that ends it, with no
// channel report between, and is current when the codec is chosen again.
TEST_F(DockTest, TheStatisticsTableFollowsEveryReport) {
    const QUuid key = QUuid::createUuid();
    test_support::UnplacedSession session(key.toString(), key);
    session.set_state(IQEndpointClient::READY);
    window->activeInstanceSelected(&session);
    const std::string inCall = R"(<peer id="3" name="Studio C" active="true" channel="1"/>)";
    const struct {
        const char* what;
        const char* report;  // null: the codec chosen again
        std::string xml;
        const char* rows;
    } steps[] = {
        {"a channel report", "channelStats", R"(<channelStats><channel id="1"/></channelStats>)", ""},
        {"the call comes up", "peerList", "<resp>" + inCall + "</resp>", ""},
        {"its peer's first figures", "peerStats", "<peerStats><peer id=\"3\"/></peerStats>", "3"},
        {"chosen again", nullptr, "", "3"},
        {"the call ends", "peerList", R"(<resp><peer id="3" name="Studio C" active="false"/></resp>)", ""},
        {"another call, figures first", "peerStats", R"(<peerStats><peer id="4"/></peerStats>)", ""},
        {"its peer list", "peerList", R"(<resp><peer id="4" name="OB Van" active="true" channel="1"/></resp>)", "4"},
    };
    for (const auto& step : steps) {
        if (step.report) {
            ASSERT_TRUE(session.receive(step.report, step.xml));
        } else {
            window->activeInstanceSelected(&session);
        }
        QStringList rows;
        for (int row = 0; row < statsTable()->topLevelItemCount(); ++row) {
            rows << statsTable()->topLevelItem(row)->data(0, StatsTable::kPeerIdRole).toString();
        }
        EXPECT_EQ(rows.join(' ').toStdString(), step.rows) << step.what;
    }
    window->activeInstanceSelected(nullptr);
}

// The pixels of a row of a tree as the operator sees them.
QImage rowImage(QTreeWidget& tree, QTreeWidgetItem* item) {
    return tree.viewport()->grab(tree.visualItemRect(item)).toImage();
}

// The codec's statistics stop coming: the graphs grey, and the selected row of the statistics
// table, whose grey its selection's colours hide, shows otherwise than when live. The next report
// makes them live again. Out of READY the graphs are grey again.
TEST_F(DockFixture, StalledStatisticsShowAsStaleOnTheGraphsAndTheSelectedRow) {
    const QUuid key = QUuid::createUuid();
    test_support::UnplacedSession session(key.toString(), key);
    session.set_state(IQEndpointClient::READY);
    window->show();
    window->activeInstanceSelected(&session);
    // Asked for at a pace of ours: at the codec's own, unlearned, they would take two minutes.
    session.setStatisticsInterval(500);
    const auto report = [&](const char* name, const std::string& xml) { EXPECT_TRUE(session.receive(name, xml)); };
    const std::string figures =
        R"(<peerStats><peer id="3" callTime="65" bufferDelay="300" packetJitter="100" frameLossRate="50"/></peerStats>)";
    report("peerList", R"(<resp><peer id="3" name="Studio C" active="true" channel="1"/></resp>)");
    report("channelStats", R"(<channelStats><channel id="1" rxAvgPayload="64000"/></channelStats>)");
    report("peerStats", figures);
    const GraphWidget* graphs[] = {child<DelayGraph>("delayGraph"), child<LossGraph>("lossGraph")};
    const auto row = [&] { return statsTable()->topLevelItem(0); };  // built anew with every report
    ASSERT_TRUE(app_test::flushPostedEvents());
    ASSERT_EQ(statsTable()->topLevelItemCount(), 1);
    ASSERT_TRUE(row()->isSelected());
    const QImage live = rowImage(*statsTable(), row());

    ASSERT_TRUE(wait_processing_events([&] { return session.areStatisticsStale(); }));
    ASSERT_TRUE(app_test::flushPostedEvents());
    ASSERT_TRUE(row()->isSelected());
    EXPECT_FALSE(app_test::samePixels(rowImage(*statsTable(), row()), live));
    for (const GraphWidget* graph : graphs) EXPECT_TRUE(graph->isStale()) << graph->objectName().toStdString();

    report("peerStats", figures);
    ASSERT_FALSE(session.areStatisticsStale());
    ASSERT_TRUE(app_test::flushPostedEvents());
    EXPECT_TRUE(app_test::samePixels(rowImage(*statsTable(), row()), live));
    for (const GraphWidget* graph : graphs) EXPECT_FALSE(graph->isStale()) << graph->objectName().toStdString();
    session.set_state(IQEndpointClient::DISCONNECTED);
    ASSERT_TRUE(wait_processing_events([&] { return statsTable()->topLevelItemCount() == 0; }));  // told
    for (const GraphWidget* graph : graphs) EXPECT_TRUE(graph->isStale()) << graph->objectName().toStdString();
    window->activeInstanceSelected(nullptr);
}

// A menu or a question acts on what the operator chose when it opened, or on nothing. Codec 1:
// two channels, peer 1 "Berlin Desk" on air, profiles 2 (peer 3's), 3 "Music Stereo" and 4.
TEST_F(DockTest, MenusAndQuestionsActOnlyOnWhatWasChosen) {
    IPCObject* session = selectReadyCodec(startFleet(2).ports()[1]);
    window->show();
    ASSERT_TRUE(session->cmd_connect(QStringLiteral("2")));
    ASSERT_TRUE(wait_processing_events([&] { return hasStatsRow("1") && hasStatsRow("2"); }));
    disconnectFromStatsMenu(QStringLiteral("Berlin Desk"), [&] {  // the call ends meanwhile; call 2 stays
        session->cmd_disconnect(1);
        ASSERT_TRUE(wait_processing_events([&] { return !hasStatsRow("1"); }));
    });

    const struct {
        const char* chosen;
        std::function<void()> meanwhile;  // while the question is open
        QString lastBox;
    } removals[] = {
        {"Music Stereo", [&] { peerTree()->setCurrentItem(peerRow("3")); },
         "Do you want to remove the profile \"Music Stereo\"?"},
        {"Sports Low Delay",
         [&] {
             session->cmd_delete_profile(4);  // by another client
             ASSERT_TRUE(wait_processing_events(
                 [&] { return profileList()->findItems("Sports Low Delay", Qt::MatchExactly).isEmpty(); }));
         },
         "Nothing was removed: the codec is not connected, or no longer has the profile \"Sports Low Delay\" under its "
         "id."},
    };
    for (const auto& c : removals) {
        profileList()->setCurrentItem(profileList()->findItems(c.chosen, Qt::MatchExactly).value(0));
        MessageBoxRecorder boxes;
        boxes.whileAsking(c.meanwhile);
        child<QAction>("actionRemoveProfile")->trigger();
        EXPECT_EQ(boxes.lastText("Remove Profile"), c.lastBox);
    }
    syncWith(*session, 1);
    EXPECT_EQ(recorded("disconnect", 1).size(), 1u);
    EXPECT_EQ(recorded("deleteProfile", 1).size(), 2u);  // 3, then 4 by the other client
    EXPECT_EQ(recorded("deleteProfile", 1).at(0).xml, R"(<deleteProfile id="3"/>)");
}

// The peer and profile chosen in the dock stay chosen over the codec's lists while their ids name
// the same peer (name, address) and profile (name); one that went is named above its list, and
// nothing is chosen in its place until the operator chooses again. A second client of codec 0
// changes it: book peers 1 "London Studio" to 4, profiles 1 to 3 (3 "Music Stereo").
TEST_F(DockTest, ChoicesSurviveTheCodecsListsOrAreNamed) {
    const uint16_t port = fleets[0]->ports()[0];
    IPCObject* session = selectReadyCodec(port);
    IPCObject* other = addCodec(port);
    ASSERT_TRUE(wait_processing_events([&] { return other->state() == IQEndpointClient::READY; }));
    const auto editPeer = [&](int id, const char* key, const char* value) {
        session_requests::AskedRequest edit(session_requests::kSetPeerSettings);
        edit.attributes().set("id", id);
        edit.attributes().set(key, value);
        ASSERT_TRUE(other->send(edit));
    };
    const auto renameProfile = [&](const char* id, const char* name) {
        Message profile;
        ASSERT_TRUE(other->findProfile(QString::fromLatin1(id), profile));
        profile.get_child("settings", 0).attributes().set("name", name);
        ASSERT_TRUE(other->cmd_set_profile(profile));
    };
    const QString lostPeer = "The codec no longer has the peer \"London Studio\" you chose. Choose the peer again.";
    const QString readdressedPeer =
        "You chose \"London Studio\", but peer 1 is now \"London Studio\" at 192.0.2.200. Choose the peer again.";
    const QString renamedProfile =
        "You chose \"Music Stereo\", but profile 3 is now \"Music Wide\". Choose the profile again.";
    // clang-format off
    const struct {
        const char* what;
        std::function<void()> meanwhile;
        const char *peer, *profile;  // the ids still chosen afterwards; "" for none
        QString line;
    } cases[] = {
        {"only the codec's own refresh", [] {}, "1", "3", ""},
        {"another peer and profile renamed", [&] { editPeer(2, "name", "Paris Annex"); renameProfile("2", "Voice Two"); },
         "1", "3", ""},
        {"another peer and profile removed", [&] { other->cmd_remove_peer(2); other->cmd_delete_profile(2); }, "1", "3", ""},
        {"the chosen profile renamed", [&] { renameProfile("3", "Music Wide"); }, "1", "", renamedProfile},
        {"the chosen peer given another address", [&] { editPeer(1, "addr", "192.0.2.200:9000"); }, "", "3",
         readdressedPeer},
        {"the chosen peer removed", [&] { other->cmd_remove_peer(1); }, "", "3", lostPeer},
    };
    // clang-format on
    auto* connectButton = child<QPushButton>("connectButton");
    const auto said = [&] {  // above the lists
        QStringList lines;
        for (const char* name : {"lostPeerLabel", "lostProfileLabel"}) {
            const QLabel* line = child<QLabel>(name);
            if (line && line->isVisibleTo(window.get())) lines << line->text();
        }
        return lines.join('\n').toStdString();
    };
    const auto chosen = [&] {  // "<peer id>/<profile id>"
        const QTreeWidgetItem* peer = peerTree()->selectedItems().value(0);
        const QListWidgetItem* profile = profileList()->selectedItems().value(0);
        return ((peer ? peer->data(0, kPeerIdRole).toString() : "") + '/' +
                (profile ? profile->data(kProfileIdRole).toString() : ""))
            .toStdString();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        peerTree()->setCurrentItem(peerRow("1"));
        for (int row = 0; row < profileList()->count(); ++row) {
            if (profileList()->item(row)->data(kProfileIdRole) == "3") profileList()->setCurrentRow(row);
        }
        EXPECT_EQ(said(), "");  // choosing again took the last line away
        c.meanwhile();
        syncWith(*other);  // what the other client changed has been pushed to this one
        QSignalSpy peerLists(session, &IPCObject::recvPeerList), profileLists(session, &IPCObject::recvProfileList);
        session->cmd_get_peer_list();
        session->cmd_get_profile_list();
        ASSERT_TRUE(wait_processing_events([&] { return !peerLists.isEmpty() && !profileLists.isEmpty(); }));
        // A list the codec pushed for the other client's change may come after these answers on a
        // loaded machine: the outcome is waited for, not taken from the first list to come.
        const std::string expected = std::string(c.peer) + '/' + c.profile;
        EXPECT_TRUE(wait_processing_events([&] { return chosen() == expected && said() == c.line.toStdString(); }))
            << chosen() << " " << said();
        window->handleAllEnables();
        EXPECT_EQ(connectButton->isEnabled(), *c.peer && *c.profile);
    }
}

// The operator's own Remove Peer and Remove Profile take the choice with them and say nothing of
// it; the same removal by another client is named above the list. Codec 0: book peers 1 to 4,
// profiles 2 and 3 neither factory nor default.
TEST_F(DockTest, OnlyAnotherClientsRemovalIsNamed) {
    const uint16_t port = fleets[0]->ports()[0];
    selectReadyCodec(port);
    IPCObject* other = addCodec(port);
    ASSERT_TRUE(wait_processing_events([&] { return other->state() == IQEndpointClient::READY; }));
    const struct {
        const char* what;
        bool isPeer;
        bool isOwn;
    } cases[] = {
        {"your Remove Peer", true, true},
        {"your Remove Profile, answered Yes", false, true},
        {"another client's removal of the peer", true, false},
        {"another client's removal of the profile", false, false},
    };
    MessageBoxRecorder boxes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTreeWidgetItem* peer = peerTree()->topLevelItem(0);
        ASSERT_NE(peer, nullptr);
        peerTree()->setCurrentItem(peer);
        QListWidgetItem* profile = nullptr;
        for (int row = 0; row < profileList()->count() && !profile; ++row) {
            QListWidgetItem* item = profileList()->item(row);
            if (!item->data(kProfileFactoryRole).toBool() && !item->data(kProfileDefaultRole).toBool()) profile = item;
        }
        ASSERT_NE(profile, nullptr);
        profileList()->setCurrentItem(profile);
        window->handleAllEnables();
        const QString id = c.isPeer ? peer->data(0, kPeerIdRole).toString() : profile->data(kProfileIdRole).toString();
        const QString name =
            c.isPeer ? peer->data(0, kPeerNameRole).toString() : profile->data(kProfileNameRole).toString();
        if (c.isOwn) {
            child<QAction>(c.isPeer ? "actionRemoveEntry" : "actionRemoveProfile")->trigger();
        } else if (c.isPeer) {
            ASSERT_TRUE(other->cmd_remove_peer(id.toInt()));
        } else {
            ASSERT_TRUE(other->cmd_delete_profile(id.toInt()));
        }
        const auto isListed = [&] {
            if (c.isPeer) return peerRow(id) != nullptr;
            for (int row = 0; row < profileList()->count(); ++row) {
                if (profileList()->item(row)->data(kProfileIdRole).toString() == id) return true;
            }
            return false;
        };
        ASSERT_TRUE(wait_processing_events([&] { return !isListed(); }));
        const QLabel* line = child<QLabel>(c.isPeer ? "lostPeerLabel" : "lostProfileLabel");
        const QString kind = c.isPeer ? "peer" : "profile";
        const QString expected = c.isOwn ? QString()
                                         : QStringLiteral("The codec no longer has the %1 \"%2\" you chose. Choose the "
                                                          "%1 again.")
                                               .arg(kind, name);
        EXPECT_EQ((line->isVisibleTo(window.get()) ? line->text() : QString()).toStdString(), expected.toStdString());
        EXPECT_TRUE(c.isPeer ? peerTree()->selectedItems().isEmpty() : profileList()->selectedItems().isEmpty());
    }
    EXPECT_EQ(recorded("removePeer").size(), 2u);
    EXPECT_EQ(recorded("deleteProfile").size(), 2u);
}

// A codec that refuses the profile chosen for a call gets no "connect", which would bring the call
// up on the peer's stored profile; the notice says the peer was not connected.
TEST_F(DockTest, ARefusedProfileConnectsNothing) {
    MessageBoxRecorder boxes;
    CodecSimOptions refusing;
    refusing.refused_requests = {"setPeerSettings"};
    const uint16_t port = startFleet(refusing).ports()[0];
    IPCObject* session = selectReadyCodec(port);
    QTreeWidgetItem* peer = peerTree()->topLevelItem(0);  // an address-book peer, not connected
    ASSERT_NE(peer, nullptr);
    const QString id = peer->data(0, kPeerIdRole).toString();
    Message entry;
    ASSERT_TRUE(session->findPeer(id, entry));
    choosePeerWithAnotherProfile(peer);
    auto* connectButton = child<QPushButton>("connectButton");
    ASSERT_TRUE(wait_processing_events([&] { return connectButton->isEnabled(); }));
    connectButton->click();

    const QString name = entry.attributes().get_qstring("name", QString());
    const QString line = QStringLiteral("%1 (127.0.0.1:%2) refused to give the peer \"%3\" the profile chosen for it: "
                                        "Refused by codec-sim (error 409); peer \"%3\" (id %4) was not connected")
                             .arg(session->unitName())
                             .arg(port)
                             .arg(name, id);
    EXPECT_TRUE(wait_processing_events([&] { return boxes.lastText("Changes Refused").split('\n').contains(line); }))
        << boxes.lastText("Changes Refused").toStdString();
    syncWith(*session, 1);
    EXPECT_EQ(recorded("setPeerSettings", 1).size(), 1u);
    EXPECT_TRUE(recorded("connect", 1).empty());
    EXPECT_FALSE(isActiveRow(id));
}

// A connect or disconnect the operator asked for and the codec refused is named in the notice with
// the peer and the codec's words, and nothing is sent again. The scheduler's own stay in the log: it
// confirms each step from the codec's next peer list. Codec 1: peer 1 on air, peer 2 not.
TEST_F(DockTest, RefusedCallsTheOperatorAskedForAreNamed) {
    MessageBoxRecorder boxes;
    CodecSimOptions refusing;
    refusing.count = 2;
    refusing.refused_requests = {"connect", "disconnect"};
    const uint16_t port = startFleet(refusing).ports()[1];
    IPCObject* session = selectReadyCodec(port);
    window->show();
    ASSERT_TRUE(wait_processing_events([&] { return hasStatsRow("1") && peerRow("2"); }));
    const auto press = [&](const char* peer, const char* button) {
        peerTree()->setCurrentItem(peerRow(peer));
        ASSERT_TRUE(wait_processing_events([&] { return child<QPushButton>(button)->isEnabled(); }));
        child<QPushButton>(button)->click();
    };
    const auto setUp = [&](const char* peer) {
        test_support::on_next_modal([&](QDialog* dialog) {
            auto* peers = dialog->findChild<QListWidget*>(QStringLiteral("peerList"));
            for (int row = 0; row < peers->count(); ++row) {
                if (peers->item(row)->data(kPeerIdRole) == peer) peers->setCurrentRow(row);
            }
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        dock().showConnectDialog();
    };
    const std::shared_ptr<CodecSessions> scheduler = registeredSessions();
    const struct {
        const char* road;
        std::function<void()> ask;
        const char* peer;  // null: every peer
        const char* sent;  // the one command the codec gets
        const char* told;  // what was refused, %1 the peer's name; null: no notice
    } roads[] = {
        {"Connect", [&] { press("2", "connectButton"); }, "2", "connect", "to connect the peer \"%1\""},
        {"Connection setup", [&] { setUp("2"); }, "2", "connect", "to connect the peer \"%1\""},
        {"Disconnect", [&] { press("1", "disconnectButton"); }, "1", "disconnect", "to disconnect the peer \"%1\""},
        {"the statistics menu", [&] { disconnectFromStatsMenu(peerRow("1")->text(0)); }, "1", "disconnect",
         "to disconnect the peer \"%1\""},
        {"Disconnect All", [&] { child<QAction>("actionDisconnect")->trigger(); }, nullptr, "disconnect",
         "to disconnect every peer"},
        {"a scheduled connect", [&] { scheduler->sendConnect(session->uuid, "2"); }, "2", "connect", nullptr},
        {"a scheduled disconnect", [&] { scheduler->sendDisconnect(session->uuid, 1); }, "1", "disconnect", nullptr},
    };
    const auto commands = [&] {
        std::vector<std::string> sent;
        for (const char* name : {"connect", "disconnect", "setPeerSettings"}) {
            for (const RecordedFrame& frame : recorded(name, 1)) sent.push_back(frame.xml);
        }
        return sent;
    };
    for (const auto& c : roads) {
        SCOPED_TRACE(c.road);
        const int notices = boxes.count("Changes Refused");
        std::vector<std::string> expected = commands();
        expected.push_back(c.peer ? QStringLiteral("<%1 id=\"%2\"/>").arg(c.sent, c.peer).toStdString()
                                  : "<" + std::string(c.sent) + "/>");
        QSignalSpy refusals(session, &IPCObject::requestFailed);
        c.ask();
        ASSERT_TRUE(wait_processing_events([&] { return !refusals.isEmpty(); }));
        bool isAfterTheNotice = false;  // posted after the notice the refusal posts, if any
        QTimer::singleShot(0, [&] { isAfterTheNotice = true; });
        ASSERT_TRUE(wait_processing_events([&] { return isAfterTheNotice; }));
        syncWith(*session, 1);

        std::vector<std::string> sent = commands();
        std::sort(sent.begin(), sent.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sent, expected);
        EXPECT_EQ(boxes.count("Changes Refused"), notices + (c.told ? 1 : 0));
        if (!c.told) continue;
        const QString told =
            c.peer ? QString::fromUtf8(c.told).arg(peerRow(c.peer)->text(0)) : QString::fromUtf8(c.told);
        EXPECT_EQ(boxes.lastText("Changes Refused"),
                  QStringLiteral(
                      "These changes were not made:\n\n%1 (127.0.0.1:%2) refused %3: Refused by codec-sim (error 409)")
                      .arg(session->unitName())
                      .arg(port)
                      .arg(told));
    }
    EXPECT_TRUE(isActiveRow("1"));
    EXPECT_FALSE(isActiveRow("2"));
}

// A notice's lines, a refusal told alike for several codecs ("A (address),", "and B (address) refused
// ...") written out once per codec, in whatever order the refusals came.
QStringList eachCodecsLine(const QStringList& lines) {
    static const QRegularExpression kCodec(QStringLiteral("^(?:and )?(.*\\(127\\.0\\.0\\.1:\\d+\\)),?(.*)$"));
    QStringList each, codecs;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = kCodec.match(line);
        if (!match.hasMatch()) {
            each << line;
            continue;
        }
        codecs << match.captured(1);
        if (match.captured(2).isEmpty()) continue;
        for (const QString& codec : codecs) each << codec + match.captured(2);
        codecs.clear();
    }
    return each;
}

// A codec that answers a connect or disconnect only to refuse it, as a real one does, leaves the
// program unable to tell which of the requests still awaiting an answer a refusal answers. Every
// refusal that may answer one of the operator's is told all the same: as that request when it is
// the only one awaited, else naming the operator's requests it may answer that the codec's peer
// list does not show done. Codec B (the second of a fleet of two) has peer 1 on air and a channel
// free for peer 2; codec A (the first) has peer 2 free; both refuse every disconnect.
TEST_F(DockTest, EveryRefusalIsToldAsTheRequestsItMayAnswer) {
    MessageBoxRecorder boxes;
    CodecSimOptions quiet;
    quiet.count = 2;
    quiet.refused_requests = {"disconnect"};
    quiet.unanswered_successes = {"connect", "disconnect"};
    const std::shared_ptr<CodecSessions> scheduler = registeredSessions();
    struct Codecs {
        IPCObject* a;  // null unless the row asks for it
        IPCObject* b;
    };
    const auto isOnAir = [](IPCObject* session, const char* peer) {
        const QList<PeerMetaPtr> active = session->activePeerList();
        return std::any_of(active.cbegin(), active.cend(), [&](const PeerMetaPtr& onAir) { return onAir->id == peer; });
    };
    const auto connectPeer2 = [&](IPCObject* session, bool isScheduled) {
        if (isScheduled) {
            scheduler->sendConnect(session->uuid, "2");
        } else {
            session->cmd_connect_peer("2", QString());
        }
        ASSERT_TRUE(wait_processing_events([&] { return isOnAir(session, "2"); }));
    };
    const auto disconnect = [](IPCObject* session, int peer) {
        session->cmd_disconnect(peer, IPCObject::Asker::kOperator);
    };
    // clang-format off
    const struct {
        const char* what;
        bool hasCodecA;
        std::function<void(const Codecs&)> ask;
        int refusals;
        QStringList told;  // {A}, {B}: the codec as the notice names it; {B1}: its peer 1's name
    } rows[] = {
        {"one request outstanding", false, [&](const Codecs& c) { disconnect(c.b, 1); }, 1,
         {"{B} refused to disconnect the peer \"{B1}\": Refused by codec-sim (error 409)"}},
        // A silent success read before the refusal came (the codec answered the ping behind it):
        // the refusal is the later request's alone.
        {"a silent success read, and a refusal", false,
         [&](const Codecs& c) { connectPeer2(c.b, false); disconnect(c.b, 2); }, 1,
         {"{B} refused to disconnect the peer \"{B2}\": Refused by codec-sim (error 409)"}},
        {"the scheduler's connect read, and the operator's disconnect", false,
         [&](const Codecs& c) { connectPeer2(c.b, true); disconnect(c.b, 1); }, 1,
         {"{B} refused to disconnect the peer \"{B1}\": Refused by codec-sim (error 409)"}},
        {"the scheduler's connect and disconnect", false,
         [&](const Codecs& c) { connectPeer2(c.b, true); scheduler->sendDisconnect(c.b->uuid, 1); }, 1, {}},
        {"the fleet-wide Disconnect All, two codecs refusing, one right after a connect", true,
         [&](const Codecs& c) {
             connectPeer2(c.a, false);
             window->findChild<QAction*>(QStringLiteral("actionDisconnectFleet"))->trigger();
         },
         2,
         {"{A} refused to disconnect every peer: Refused by codec-sim (error 409)",
          "{B} refused to disconnect every peer: Refused by codec-sim (error 409)"}},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<uint16_t> ports = startFleet(quiet).ports();
        const Codecs codecs{row.hasCodecA ? addCodec(ports[0]) : nullptr, addCodec(ports[1])};
        QStringList told = row.told;
        QObject context;  // ends the connections before the local they write goes
        int refusals = 0;
        for (const auto& named : {std::pair{codecs.a, "A"}, std::pair{codecs.b, "B"}}) {
            IPCObject* session = named.first;
            const char* key = named.second;
            if (!session) continue;
            ASSERT_TRUE(wait_processing_events([&] { return session->state() == IQEndpointClient::READY; }));
            QObject::connect(session, &IPCObject::requestFailed, &context, [&] { ++refusals; });
            told.replaceInStrings(QStringLiteral("{%1}").arg(key),
                                  QStringLiteral("%1 (127.0.0.1:%2)").arg(session->unitName()).arg(session->port));
            for (const int peer : {1, 2}) {
                Message entry;
                ASSERT_TRUE(session->findPeer(QString::number(peer), entry));
                told.replaceInStrings(QStringLiteral("{%1%2}").arg(key).arg(peer),
                                      entry.attributes().get_qstring("name", QString()));
            }
        }
        const size_t boxesBefore = boxes.boxes().size();
        row.ask(codecs);
        ASSERT_TRUE(wait_processing_events([&] { return refusals == row.refusals; }));
        bool isAfterTheNotice = false;  // posted after the notice the last refusal posts, if any
        QTimer::singleShot(0, [&] { isAfterTheNotice = true; });
        ASSERT_TRUE(wait_processing_events([&] { return isAfterTheNotice; }));

        QStringList lines;
        for (size_t i = boxesBefore; i < boxes.boxes().size(); ++i) {
            const MessageBox::Request& box = boxes.boxes()[i];
            if (box.title == "Changes Refused") lines << box.text.split('\n').mid(1);
        }
        lines.removeAll(QString());
        lines = eachCodecsLine(lines);
        lines.sort();
        told.sort();
        EXPECT_EQ(lines.join('\n').toStdString(), told.join('\n').toStdString());
        fleets.back().reset();  // its codecs leave READY, so that no later Disconnect All reaches them
        for (IPCObject* session : {codecs.a, codecs.b}) {
            if (!session) continue;
            ASSERT_TRUE(wait_processing_events([&] { return session->state() != IQEndpointClient::READY; }));
        }
    }
}

// A codec's ids are sent as the codec wrote them or not at all: an id that is not a decimal number
// would otherwise go out as 0 and reach some other peer or profile.
TEST_F(DockTest, IdsThatAreNotNumbersSendNothing) {
    IPCObject* session = selectReadyCodec(fleets[0]->ports()[0]);
    const struct {
        const char* peer;     // the selected peer row's id; null: no peer row
        const char* profile;  // the selected profile row's id; null: no profile row
        void (CodecDock::*slot)();
    } cases[] = {
        {"abc", "1", &CodecDock::on_connectButton_clicked},
        {"1", "1x", &CodecDock::on_connectButton_clicked},
        {"3-1", nullptr, &CodecDock::on_disconnectButton_clicked},
        {"", nullptr, &CodecDock::removePeer},
        {"1", " 2", &CodecDock::assignProfileTriggered},
        {"99999999999", nullptr, &CodecDock::assignDefaultProfileTriggered},
        {nullptr, "2.0", &CodecDock::copyProfile},
        {nullptr, "0x2", &CodecDock::removeProfile},
    };
    test_support::CapturedQtMessages messages;
    MessageBoxRecorder boxes;  // "Remove Profile" would be answered Yes
    for (const auto& c : cases) {
        peerTree()->clear();
        profileList()->clear();
        if (c.peer) {
            auto* row = new QTreeWidgetItem(peerTree(), {QStringLiteral("Peer")});
            row->setData(0, kPeerIdRole, QString::fromLatin1(c.peer));
            row->setSelected(true);
        }
        if (c.profile) {
            auto* row = new QListWidgetItem(QStringLiteral("Profile"), profileList());
            row->setData(kProfileIdRole, QString::fromLatin1(c.profile));
            row->setSelected(true);
        }
        (dock().*c.slot)();
    }
    EXPECT_EQ(messages.count_warnings("is not a decimal number"), static_cast<int>(std::size(cases)));
    // Nothing is asked about a profile whose id could not be sent.
    EXPECT_EQ(boxes.count(QStringLiteral("Remove Profile")), 0);
    // Whatever was sent has arrived once a later request has.
    session->cmd_get_peer_list();
    waitForFrames("getPeerList", 2);
    for (const char* command :
         {"connect", "disconnect", "removePeer", "setPeerSettings", "copyProfile", "deleteProfile"})
        EXPECT_TRUE(recorded(command).empty()) << command;
}

// The log view keeps a codec's text as it is; Save writes it as UTF-8 with CR LF after every line
// whatever the locale, and says so when it cannot; Reset empties the view, the session's logs and
// the codec's own.
TEST_F(DockTest, TheLogIsSavedAsShownAndResetEverywhere) {
    IPCObject* session = selectReadyCodec(fleets[0]->ports()[0]);
    window->handleAllEnables();
    dock().eventLogAppend({QStringLiteral("St\u00f6rung <b>"), QStringLiteral("zwei")});
    dock().logAppend(LogLine{QStringLiteral("12:00:00 Audio connection started. Active peers: A"), 0, QDateTime()});
    auto* view = child<QTextEdit>("eventLogText");
    EXPECT_EQ(view->toPlainText(),
              QStringLiteral("St\u00f6rung <b>\nzwei\n12:00:00 Audio connection started. Active peers: A"));

    QString chosen;
    dock().eventLogPanel().setFileChooser([&chosen](QWidget*) { return chosen; });
    auto* buttons = child<QDialogButtonBox>("logButtonBox");
    ASSERT_TRUE(buttons->isEnabled());
    // The C locale's codec, as under LC_ALL=C: the file must not depend on it.
    QTextCodec* localeCodec = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    const QString dir = folder.root();
    const struct {
        const char* chosen;
        const char* written;
    } saves[] = {{"mylog", "mylog.txt"}, {"MYLOG.TXT", "MYLOG.TXT"}, {"old.txt", "old.txt"}};
    QFile old(dir + QStringLiteral("/old.txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(500, 'x'));  // a longer file chosen again is replaced whole
    old.close();
    for (const auto& save : saves) {
        chosen = dir + QLatin1Char('/') + QLatin1String(save.chosen);
        buttons->button(QDialogButtonBox::Save)->click();
        QFile file(dir + QLatin1Char('/') + QLatin1String(save.written));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << save.written;
        EXPECT_EQ(file.readAll(), QByteArray("St\xc3\xb6rung <b>\r\nzwei\r\n"
                                             "12:00:00 Audio connection started. Active peers: A\r\n"));
    }
    QTextCodec::setCodecForLocale(localeCodec);

    // A file where the folder should be: even root cannot write there.
    QFile blocker(dir + QStringLiteral("/not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    chosen = blocker.fileName() + QStringLiteral("/mylog");
    {
        MessageBoxRecorder boxes;
        buttons->button(QDialogButtonBox::Save)->click();
        EXPECT_EQ(boxes.count(QStringLiteral("Error")), 1);
        EXPECT_EQ(boxes.lastText(QStringLiteral("Error")), "Unable to save the log to the file specified.");
    }
    chosen.clear();  // cancelled: nothing happens
    buttons->button(QDialogButtonBox::Save)->click();

    session->deviceLog.addEventLine(QStringLiteral("line of the device log"));
    buttons->button(QDialogButtonBox::Reset)->click();
    EXPECT_TRUE(view->toPlainText().isEmpty());
    EXPECT_EQ(session->deviceLog.size(), 0);
    EXPECT_EQ(session->eventLog.size(), 0);
    const std::vector<RecordedFrame> asked = waitForFrames("getEventLog", 1);
    EXPECT_EQ(asked.back().message.attributes().get_string("clear", ""), "true");
}

// Lines the program writes about a codec (the scheduler's, the audio alerts') reach its Log tab
// whenever it is shown, also those written while another codec was shown, each among the codec's
// entries by its time: the first fetch of the codec's log brings entries older than them, the next
// one older and newer. The codec writes its times in its own zone.
TEST_F(DockTest, TheLogTabShowsTheProgramsLinesAmongTheCodecsByTime) {
    IPCObject* first = selectReadyCodec(fleets[0]->ports()[0]);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // One entry, `ago` seconds before now as the codec's clock in zone +0100 writes it.
    const auto entry = [&now](int ago, const char* text) {
        const QDateTime zoned = now.addSecs(3600 - ago);
        return QLocale::c().toString(zoned, QStringLiteral("'<e ts=\"'ddd, d MMM yyyy HH:mm:ss' +0100\">'")) + text +
               "</e>";
    };
    // The lines the session hands the dock when a fetch brings `entries`.
    const auto fetch = [first](const QStringList& entries) {
        return first->eventLog.merge(Message(("<eventLog>" + entries.join(QString()) + "</eventLog>").toStdString()));
    };
    first->deviceLog.addEventLine(QStringLiteral("D1"));
    IPCObject* second = selectReadyCodec(fleets[0]->ports()[0]);
    first->deviceLog.addEventLine(QStringLiteral("D2, while another codec was shown"));
    fetch({entry(600, "E1"), entry(300, "E2")});
    ASSERT_EQ(dock().session(), second);
    window->activeInstanceSelected(first);
    dock().eventLogAppend(fetch({entry(100, "E3"), entry(-120, "E4")}));
    first->deviceLog.addEventLine(QStringLiteral("D3"));  // before E4 by the codec's clock
    dock().eventLogAppend(fetch({entry(-240, "E5")}));

    const QStringList shown = dock().eventLogPanel().lines();
    const QStringList written = {"E1", "E2", "E3", "D1", "D2, while another codec was shown", "D3", "E4", "E5"};
    QStringList ours;  // the lines above, in the order shown; the codec's own log may add others
    for (const QString& line : shown) {
        for (const QString& text : written) {
            if (line.endsWith(QStringLiteral(": ") + text)) ours << text;
        }
    }
    EXPECT_EQ(ours, written);
    EXPECT_EQ(shown, first->deviceLog.linesAmongEventLog());
    // One time format for both: the codec's entries in this desktop's time, as the program's lines.
    const QRegularExpression shape(QStringLiteral("^\\w{3}, \\d{1,2} \\w{3} \\d{4} \\d\\d:\\d\\d:\\d\\d: "));
    for (const QString& line : shown) EXPECT_TRUE(shape.match(line).hasMatch()) << line.toStdString();
    const QString e1 = EventLogMerger::displayTime(now.addSecs(-600)) + QStringLiteral(": E1");
    EXPECT_TRUE(shown.contains(e1)) << e1.toStdString();
}

// The longest text any label or tree cell of the widget holds.
int longestShownText(const QWidget& widget) {
    int longest = 0;
    for (const QLabel* label : widget.findChildren<QLabel*>()) longest = std::max(longest, label->text().size());
    for (QTreeWidget* tree : widget.findChildren<QTreeWidget*>()) {
        for (QTreeWidgetItemIterator item(tree); *item; ++item) {
            for (int column = 0; column < (*item)->columnCount(); ++column) {
                longest = std::max(longest, (*item)->text(column).size());
            }
        }
    }
    return longest;
}

// A codec shown in the dock floods it with text: every 2 s a unit name, a connected peer's name and
// an event of 300,000 characters, and 10,000 more events. Each text is cut before a widget lays it
// out (whole, it costs its length squared), each log line wraps within the view, and the log keeps
// no more lines than the session; the name gives way to the header's line of the codec's state.
// (The stalls are bench/dock_switch_bench's figure.)
TEST_F(DockFixture, LongTextsAreLaidOutBoundedAndNeverOutgrowTheSession) {
    CodecSimOptions options;
    options.count = 2;  // codec 1 starts in a call
    options.long_text_length = 300000;
    options.log_burst = 10000;
    const uint16_t port = startFleet(options).ports()[1];
    window->show();
    IPCObject* session = selectReadyCodec(port);
    int merged = 0;
    QTimer poll;  // also ends the count's connection before `merged` goes
    QObject::connect(&poll, &QTimer::timeout, session, &IPCObject::cmd_get_event_log);
    QObject::connect(session, &IPCObject::recvEventLog, &poll,
                     [&merged](const QStringList& lines) { merged += lines.size(); });
    poll.start(500);
    auto* details = child<QWidget>("dockWidgetDetails");
    EXPECT_TRUE(
        wait_processing_events([&] { return merged > 30000 && longestShownText(*details) >= kMaxShownCodecText; },
                               test_support::give_up_after(std::chrono::seconds(60))));
    // A label or cell shows at most two codec texts, cut, with the program's own words around them.
    EXPECT_LT(longestShownText(*details), 3 * kMaxShownCodecText);
    auto* log = child<QTextEdit>("eventLogText");
    int longestBlock = 0;
    qreal widestLine = 0;
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next()) {
        longestBlock = std::max(longestBlock, block.length() - 1);  // less the block's separator
        const QTextLayout* layout = block.layout();
        for (int line = 0; layout && line < layout->lineCount(); ++line) {
            widestLine = std::max(widestLine, layout->lineAt(line).naturalTextWidth());
        }
    }
    EXPECT_EQ(longestBlock, CodecText::kLogLineLength);  // the long events, cut
    EXPECT_GT(widestLine, 0);
    EXPECT_LE(widestLine, log->document()->textWidth());
    EXPECT_LE(log->document()->blockCount(), int{EventLogMerger::kMaxStoredEntries} + DeviceLog::kMaxLines);
    // Beside a name this long, the header's line of a lost codec is cut no shorter than its words,
    // and so is the codec's address; the name gives way, cut with "…".
    fleets.clear();
    auto* health = child<QLabel>("healthLabel");
    EXPECT_TRUE(wait_processing_events([health] {
        return !health->text().isEmpty() && health->width() >= health->fontMetrics().horizontalAdvance(health->text());
    })) << health->text().toStdString()
        << " in " << health->width() << " pixels";
    auto* address = child<QLabel>("addressLabel");
    EXPECT_EQ(address->text(), QStringLiteral(" (127.0.0.1:%1)").arg(port));
    EXPECT_GE(address->width(), address->fontMetrics().horizontalAdvance(address->text()));
    auto* name = child<ElidedLabel>("nameLabel");
    EXPECT_LT(name->width(), name->fontMetrics().horizontalAdvance(name->text()));
}

// A codec that drops frames in its login is READY with them told in the header and its tool tip;
// Seen clears them and goes with them.
TEST_F(DockFixture, DroppedFramesAreToldInTheHeaderUntilSeen) {
    CodecSimOptions options;
    options.hostile = {HostileKind::kNul, HostileKind::kTag};
    selectReadyCodec(startFleet(options).ports()[0]);
    window->show();
    auto* health = child<QLabel>("healthLabel");
    auto* seen = child<QAbstractButton>("linkDropsSeenButton");
    EXPECT_TRUE(wait_processing_events([&] {
        return health->text().startsWith("3 messages from the codec were dropped") && seen->isVisible();
    })) << health->text().toStdString();
    QTextDocument tip;  // the tool tip as shown: the line, whole
    tip.setHtml(health->toolTip());
    EXPECT_EQ(tip.toPlainText().trimmed(), health->text());
    QTest::mouseClick(seen, Qt::LeftButton);
    EXPECT_TRUE(wait_processing_events([&] { return health->text().isEmpty() && !seen->isVisible(); }))
        << health->text().toStdString();
    EXPECT_TRUE(health->toolTip().isEmpty());
}

// A codec that refuses to send its event log is told once above the Log tab, in its words, however
// many polls it refuses, and in no box; the end of logging or a new connection clears the line.
TEST_F(DockTest, ARefusedEventLogIsToldOnceAboveTheLog) {
    MessageBoxRecorder boxes;
    CodecSimOptions options;
    options.refused_requests = {"getEventLog"};
    options.refusals = 3;
    IPCObject* session = selectReadyCodec(startFleet(options).ports()[0]);
    window->show();
    child<QTabWidget>("statusTabWidget")->setCurrentWidget(child<QWidget>("logTab"));
    auto* line = child<QLabel>("eventLogRefusalLabel");
    EXPECT_FALSE(line->isVisible());
    QSignalSpy refused(session, &IPCObject::requestFailed);
    QSignalSpy told(session, &IPCObject::eventLogRefusalChanged);
    std::optional<bool> isToldOnNewLink;
    QObject::connect(session, &IPCObject::changedState, line, [&](QUuid, IQEndpointClient::DEVICE_STATE state) {
        if (state == IQEndpointClient::CONNECTING) isToldOnNewLink = line->isVisible();
    });
    const struct {
        std::function<void()> act;
        int refusals;  // so far
        bool isTold;
        int changes;  // of the line, so far
    } steps[] = {
        {[&] { session->setEventLogPolling(true); }, 1, true, 1},  // asks at once
        {[&] { QMetaObject::invokeMethod(session, "eventLogTimerExpire"); }, 2, true, 1},
        {[&] { session->setEventLogPolling(false); }, 2, false, 2},
        {[&] { session->setEventLogPolling(true); }, 3, true, 3},
        {[&] { session->reconnectIPC(); }, 3, false, 4},  // answered on the new connection
    };
    for (const auto& step : steps) {
        step.act();
        ASSERT_TRUE(wait_processing_events([&] {
            return session->state() == IQEndpointClient::READY && refused.count() == step.refusals &&
                   line->isVisible() == step.isTold;
        })) << step.changes;
        EXPECT_EQ(told.count(), step.changes);
        if (step.isTold) {
            EXPECT_EQ(line->text(), "The codec refused to send its event log: Refused by codec-sim (error 409)");
        }
    }
    EXPECT_EQ(isToldOnNewLink, false);
    EXPECT_TRUE(boxes.boxes().empty());
}

// Before a codec's first peer list, as while it logs in over a slow link, the peer list's headers
// read whole: nothing has measured the columns yet, and the room left for them cuts none.
TEST_F(DockFixture, ThePeerHeadersReadWholeBeforeTheFirstPeerList) {
    QTcpServer silent;  // takes the connection and says nothing: the codec never logs in
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    window->resize(1366, 768);
    window->show();
    window->activeInstanceSelected(addCodec(silent.serverPort()));
    child<QTabWidget>("statusTabWidget")->setCurrentWidget(child<QWidget>("connectionsTab"));
    ASSERT_TRUE(wait_processing_events([&] { return peerTree()->isVisible(); }));
    for (int column = 0; column < 2; ++column) {
        EXPECT_GE(peerTree()->columnWidth(column), peerTree()->header()->sectionSizeHint(column)) << column;
    }
}

// One peer named at length leaves every peer's state in sight on a laptop's screen: the name is
// cut as the dialogs cut names, whole in its tool tip.
TEST_F(DockFixture, ALongPeerNameLeavesThePeersStatesInSight) {
    CodecSimOptions options;
    options.long_text_length = 600;
    window->resize(1024, 600);
    window->show();
    selectReadyCodec(startFleet(options).ports()[0]);
    child<QTabWidget>("statusTabWidget")->setCurrentWidget(child<QWidget>("connectionsTab"));
    QTreeWidget* tree = peerTree();
    QTreeWidgetItem* named = nullptr;  // the codec's first peer, which it renames
    ASSERT_TRUE(wait_processing_events([&] {
        named = tree->topLevelItem(0);
        return named && named->data(0, kPeerNameRole).toString().size() == 600;
    }));
    const QString name = named->data(0, kPeerNameRole).toString();
    EXPECT_EQ(named->text(0), shownName(name));
    EXPECT_TRUE(named->toolTip(0).contains(name));
    const QHeaderView* header = tree->header();
    EXPECT_LE(header->sectionViewportPosition(2) + header->sectionSize(2), tree->viewport()->width());
}

}  // namespace
