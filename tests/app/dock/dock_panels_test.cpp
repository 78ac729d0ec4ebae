// The details dock's panels on their own: peer rows and their order across peer lists, the
// filters, a peer's profile, the statistics texts and the system status labels.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>

#include "app/dock/peer_items.h"
#include "app/dock/peer_state_icons.h"
#include "app/shared/view_colours.h"
#include "sessions/channel_stats_info.h"
#include "sessions/peer_meta.h"
#include "sessions/peer_stats_info.h"
#include "tests/app/dock/dock_fixture.h"
#include "tests/support/unplaced_session.h"
#include "text/codec_text.h"

namespace {

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

// A session whose lists come from peer and profile lists as the codec sends them.
class ListedSession : public test_support::UnplacedSession {
public:
    explicit ListedSession(QUuid key = QUuid::createUuid()) : UnplacedSession(key.toString(), key) {}
    void cache(const char* name, const std::string& xml) { cache_message(parsed(xml), QString::fromLatin1(name)); }
    void list(const char* name, const std::string& children) {
        cache(name, "<resp>" + children + "</resp>");
        QMetaObject::invokeMethod(this, (std::string("cb_resp_") + name).c_str(), Qt::DirectConnection);
    }
};

// "b1 d7": address-book peer 1, then directory peer 7, each named P and its id.
std::string peers(const QString& spec) {
    std::string xml;
    for (const QString& token : spec.split(' ')) {
        const std::string id = token.mid(1).toStdString();
        xml += "<peer id=\"" + id + "\" name=\"P" + id + "\"" +
               (token[0] == 'b' ? " addr=\"10.0.0." + id + "\"/>" : "><directory online=\"true\"/></peer>");
    }
    return xml;
}

QString column(QTreeWidget& tree, int role) {
    QStringList values;
    for (int row = 0; row < tree.topLevelItemCount(); ++row) values << tree.topLevelItem(row)->data(0, role).toString();
    return values.join(' ');
}

// Rows keep their place and selection across peer lists; address-book peers stay ahead of the
// directory's, each group in the codec's order; of two rows for one peer, the first stays.
TEST(PeerTree, UpdatesInPlaceWithAddressBookPeersFirst) {
    QTreeWidget tree;
    QLineEdit filter;
    PeerTreePanel panel(&tree, &filter);
    ListedSession session;
    session.list("peerList", peers("b1 d7 b2"));
    panel.refill(session);
    EXPECT_EQ(column(tree, kPeerIdRole), "1 2 7");
    tree.setCurrentItem(tree.topLevelItem(2));  // rows come and go before it
    const std::pair<const char*, const char*> steps[] = {{"b1 d7 b2 b3", "1 2 3 7"},
                                                         {"b1 d7 d8 b2 b3", "1 2 3 7 8"},
                                                         {"b1 d7 d8 b3", "1 3 7 8"},
                                                         {"b1 d7 d8 b3", "1 3 7 8"}};
    for (const auto& [list, rows] : steps) {
        if (&list == &steps[3].first) tree.addTopLevelItem(tree.topLevelItem(0)->clone());  // a second row for 1
        session.list("peerList", peers(list));
        panel.update(session);
        EXPECT_EQ(column(tree, kPeerIdRole), rows) << list;
        ASSERT_EQ(tree.selectedItems().size(), 1);
        EXPECT_EQ(tree.selectedItems()[0]->text(0), "P7");
    }
}

// A codec that lists many peers in a new order: every row keeps its place and shows its own peer,
// renamed as the codec renamed it.
TEST(PeerTree, ReorderedListKeepsEveryRowOnItsOwnPeer) {
    QTreeWidget tree;
    QLineEdit filter;
    PeerTreePanel panel(&tree, &filter);
    ListedSession session;
    std::string forward, backward;
    QStringList expected, shown;
    for (int id = 1; id <= 3000; ++id) {
        forward += "<peer id=\"" + std::to_string(id) + "\"/>";
        backward.insert(0, "<peer id=\"" + std::to_string(id) + "\" name=\"Q" + std::to_string(id) + "\"/>");
        expected << QStringLiteral("%1:Q%1").arg(id);
    }
    session.list("peerList", forward);
    panel.refill(session);
    session.list("peerList", backward);
    panel.update(session);
    for (int row = 0; row < tree.topLevelItemCount(); ++row) {
        shown << tree.topLevelItem(row)->data(0, kPeerIdRole).toString() + ':' + tree.topLevelItem(row)->text(0);
    }
    EXPECT_EQ(shown, expected);
}

// Every column, icon, colour and role of a row, also when a known peer reports anew.
TEST(PeerTree, RowsShowTheStateOfEachPeer) {
    const struct {
        std::string peer;
        const char* texts;  // columns 0 to 4; "=" keeps what the row showed before
        int icon;           // PeerStateIcon, or -1 for none
    } rows[] = {
        {R"(<peer id="1" name="A" addr="10.0.0.9:9000" bdlink="true"/>)", "A|10.0.0.9|||Yes", -1},
        {R"(<peer id="3-1" name="In" addr="10.0.0.8" active="true" chan_state="on" rx_codec="Opus"/>)",
         "In|(incoming)|on|Opus|", -1},
        {R"(<peer id="5" name="D" can_connect="busy"><directory online="false"/></peer>)", "D|=|||No", 3},
        {R"(<peer id="5" name="D" can_connect="ts_fail"><directory online="true"/></peer>)", "D|=|||No", 0},
        {R"(<peer id="5" name="D" can_connect="busy"><directory online="true"/></peer>)", "D|=|||No", 1},
        {R"(<peer id="5" name="&lt;b&gt;" active="true" bdlink="true"><directory online="true"/></peer>)",
         "<b>|=|||Yes", 2},
    };
    QTreeWidgetItem item;
    item.setText(1, QStringLiteral("kept"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.peer);
        const PeerMeta peer(parsed(row.peer));
        const QStringList expected = QString(row.texts).split('|');
        const QString before = item.text(1);
        setPeerTreeItemData(&item, &peer);
        for (int c = 0; c < 5; ++c) {
            EXPECT_EQ(item.text(c), expected[c] == "=" ? before : expected[c]) << c;
            EXPECT_EQ(item.background(c).color(), peer.active ? activePeerBackground : idlePeerBackground) << c;
        }
        EXPECT_EQ(item.data(0, kPeerIdRole).toString(), peer.id);
        EXPECT_EQ(item.data(0, kPeerActiveRole).toBool(), peer.active);
        EXPECT_EQ(item.data(0, kPeerDirectoryRole).toBool(), row.icon >= 0);
        if (row.icon >= 0) {
            EXPECT_EQ(item.icon(0).cacheKey(), peerStateIcon(static_cast<PeerStateIcon>(row.icon)).cacheKey());
        } else {
            EXPECT_EQ(item.data(0, kPeerAddressRole).toString(), peer.addr);
        }
    }
}

// Filters match names (and peer addresses) ignoring case and colour their line by the outcome; a
// peer's profile "0" is the unit's default profile when the codec has one.
TEST(DockLists, FiltersAndAPeersProfile) {
    QTreeWidget tree;
    QLineEdit peerLine;
    PeerTreePanel peerPanel(&tree, &peerLine);
    for (const PeerMeta& peer : {PeerMeta(parsed(R"(<peer id="1" name="Studio A" addr="10.0.0.5"/>)")),
                                 PeerMeta(parsed(R"(<peer id="2" name="Field" addr="192.0.2.1"/>)"))}) {
        setPeerTreeItemData(new QTreeWidgetItem(&tree), &peer);
    }
    const struct {
        const char* text;
        const char* shown;
        const char* colour;
    } filters[] = {{"stud", "Studio A", "#FF6"},
                   {"10.0", "Studio A", "#FF6"},
                   {"zzz", "", "#F64"},
                   {"", "Studio A,Field", "#FFF"}};
    for (const auto& c : filters) {
        peerLine.setText(c.text);
        peerPanel.applyFilter();
        QStringList shown;
        for (int row = 0; row < tree.topLevelItemCount(); ++row)
            if (!tree.topLevelItem(row)->isHidden()) shown << tree.topLevelItem(row)->text(0);
        EXPECT_EQ(shown.join(','), c.shown) << c.text;
        EXPECT_EQ(peerLine.styleSheet(), QStringLiteral("background-color: %1;").arg(c.colour)) << c.text;
    }

    QListWidget list;
    QLineEdit profileLine;
    ProfileListPanel profiles(&list, &profileLine);
    ListedSession session;
    session.list("profileList", R"(<profile id="0"><settings name="Zero"/></profile>)"
                                R"(<profile id="1" default="true"><settings name="Main"/></profile>)"
                                R"(<profile id="2"><settings name="Fac" factory="true"/></profile>)");
    profiles.refill(session);
    profileLine.setText("MAIN");
    profiles.applyFilter();
    EXPECT_TRUE(list.item(0)->isHidden());
    EXPECT_EQ(list.item(1)->text(), "<Main>");
    EXPECT_TRUE(list.item(2)->data(kProfileFactoryRole).toBool());
    const struct {
        const char* id;
        const char* defaultId;
        int selected;  // the row, or the one selected before
    } picks[] = {{"2", "1", 2}, {"0", "1", 1}, {"0", "", 0}, {"9", "1", 0}};
    for (const auto& c : picks) {
        profiles.selectProfileById(c.id, c.defaultId);
        EXPECT_EQ(list.row(profiles.selectedProfileItem()), c.selected) << c.id << " " << c.defaultId;
    }
}

// Rates in bit/s, delays in tenths of a ms and losses in tenths of a percent, each truncated toward
// zero; the call time in hours, minutes and seconds, the hours counting past a day.
TEST(DockStatistics, RowTextsTruncateTheCodecsUnits) {
    PeerStatsInfo peer;
    ChannelStatsInfo channel;
    const struct {
        unsigned callTime;
        int rate, delay, loss;
        const char* texts;
    } cases[] = {
        {3725, 1999, 125, 7, "Unit,01:02:05,1kbps,0kbps,12ms,0kbps,0kbps,0ms,0%,0%"},
        {90000, 64000, 9, 1000, "Unit,25:00:00,64kbps,0kbps,0ms,0kbps,0kbps,0ms,100%,0%"},
        {0, -1999, -125, -7, "Unit,00:00:00,-1kbps,0kbps,-12ms,0kbps,0kbps,0ms,0%,0%"},
    };
    for (const auto& c : cases) {
        peer.callTime = c.callTime;
        channel.rxAvgPayload = c.rate;
        peer.delayIn = c.delay;
        peer.frameLossRateAvg = c.loss;
        EXPECT_EQ(StatsTable::rowTexts(QStringLiteral("Unit"), peer, channel).join(','), c.texts);
    }
}

using DockStatus = app_test::DockFixture;

// The status labels read the codec's cached replies; what a codec names stays plain text.
TEST_F(DockStatus, LabelsShowTheCachedReplies) {
    ListedSession session;
    session.setAddress(QStringLiteral("10.0.0.5"), 80);
    session.cache("sysOptions", R"(<sysOptions unit_name="&lt;b&gt;Studio"/>)");
    dock().showSession(&session);
    auto* name = child<QLabel>("nameLabel");
    EXPECT_EQ(name->text() + child<QLabel>("addressLabel")->text(), "<b>Studio (10.0.0.5:80)");
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    const struct {
        const char* reply;  // cached under its element's name
        void (CodecDock::*slot)();
        const char* label;
        const char* text;
        const char* style;  // null: not checked
    } cases[] = {
        {R"(<sipProxy enabled="true" online="true" status="registered"/>)", &CodecDock::ipcRecvSipProxy,
         "sipStatusLabel", "Connected (registered)", nullptr},
        {R"(<sipProxy enabled="true"/>)", &CodecDock::ipcRecvSipProxy, "sipStatusLabel", "Not Connected", nullptr},
        {R"(<sipProxy online="true"/>)", &CodecDock::ipcRecvSipProxy, "sipStatusLabel", "Disabled", nullptr},
        {R"(<directoryServer enabled="false" nat_addr="203.0.113.9" nat_type="Full Cone"/>)",
         &CodecDock::ipcRecvDirectoryServer, "relaydeskStatusLabel", "Disabled", "color: darkYellow"},
        {R"(<directoryServer enabled="true" connected="true"/>)", &CodecDock::ipcRecvDirectoryServer,
         "relaydeskStatusLabel", "Online", "color: darkGreen"},
        {R"(<directoryServer enabled="true" nat_type="Full Cone"/>)", &CodecDock::ipcRecvDirectoryServer,
         "relaydeskStatusLabel", "Offline", "color: darkRed"},
        {R"(<currentEncoder descr="Opus 64k"/>)", &CodecDock::ipcRecvCurrentEncoder, "encoderLabel", "None", nullptr},
    };
    for (const auto& c : cases) {
        session.cache(parsed(c.reply).name().c_str(), c.reply);
        (dock().*c.slot)();
        EXPECT_EQ(child<QLabel>(c.label)->text().toStdString(), c.text) << c.reply;
        if (c.style) {
            EXPECT_EQ(child<QLabel>(c.label)->styleSheet().toStdString(), c.style) << c.reply;
        }
    }
    // The disabled directory server still gave its address; each later reply replaced it.
    EXPECT_EQ(child<QLabel>("publicIpLabel")->text(), "");
    EXPECT_EQ(child<QLabel>("natTypeLabel")->text(), "Full Cone");
    session.cache("directoryServer", R"(<directoryServer nat_type=")" + std::string(100000, 'n') + R"("/>)");
    dock().ipcRecvDirectoryServer();
    EXPECT_EQ(child<QLabel>("natTypeLabel")->text().size(), kMaxShownCodecText);
    session.cache("version", R"(<version version="4.2.0" node_id="00:1d:c1:0a:0b:0c"/>)");
    dock().copyNodeId();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "00:1d:c1:0a:0b:0c");
    // A connection of a READY codec shows the encoder at once.
    session.set_state(IQEndpointClient::READY);
    session.list("peerList", R"(<peer id="1" name="A" active="true" channel="1"/>)");
    EXPECT_EQ(child<QLabel>("encoderLabel")->text(), "Opus 64k");
    dock().showSession(nullptr);
    EXPECT_TRUE(child<QLabel>("encoderLabel")->text().isEmpty());
    EXPECT_TRUE(name->text().isEmpty());
}

// A codec chosen while it logs in, its lists and replies in before the choice (a fast codec, or a
// slow link's last answers), shows them all once READY, as a codec chosen READY does; its firmware
// version follows it from then on.
TEST_F(DockStatus, ACodecChosenWhileItLogsInShowsWhatCameBeforeOnceReady) {
    ListedSession session;
    session.set_state(IQEndpointClient::AUTHENTICATED);
    session.list("peerList", peers("b1 d7"));
    session.list("profileList", R"(<profile id="0"><settings name="Zero"/></profile>)");
    session.cache("version", R"(<version version="4.2.0"/>)");
    session.cache("sipProxy", R"(<sipProxy enabled="true"/>)");
    QCoreApplication::processEvents();  // what the session signalled is gone by
    dock().showSession(&session);
    session.set_state(IQEndpointClient::READY);
    ASSERT_TRUE(test_support::wait_processing_events([&] { return profileList()->count() == 1; }));
    EXPECT_EQ(column(*peerTree(), kPeerIdRole), "1 7");
    EXPECT_EQ(child<QLabel>("firmwareLabel")->text(), "4.2.0");
    EXPECT_EQ(child<QLabel>("sipStatusLabel")->text(), "Not Connected");
    // A firmware update, told while the codec is shown.
    session.cache("version", R"(<version version="4.3.1"/>)");
    QMetaObject::invokeMethod(&session, "cb_resp_version", Qt::DirectConnection);
    EXPECT_TRUE(test_support::wait_processing_events(
        [&] { return child<QLabel>("firmwareLabel")->text() == QStringLiteral("4.3.1"); }));
}

// Naming the codec shown again (each press on its tile does) keeps the operator's place.
TEST_F(DockStatus, ShowingTheCodecShownAgainKeepsTheOperatorsPlace) {
    ListedSession session;
    session.set_state(IQEndpointClient::READY);
    session.list("peerList", peers("b1 b2"));
    dock().showSession(&session);
    auto* tree = child<QTreeWidget>("peerList");
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    tree->setCurrentItem(tree->topLevelItem(1));
    dock().showSession(&session);
    ASSERT_NE(tree->currentItem(), nullptr);
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(1));
}

}  // namespace
