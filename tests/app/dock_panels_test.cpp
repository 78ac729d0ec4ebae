// The details dock's panels on their own: peer rows and their order across peer lists, the
// filters, profile selection for a peer, the statistics texts and the system status labels.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

#include <string>
#include <vector>

#include "app/codec_dock.h"
#include "app/instance_registry.h"
#include "app/peer_items.h"
#include "app/peer_state_icons.h"
#include "app/peer_tree_panel.h"
#include "app/profile_list_panel.h"
#include "app/stats_table.h"
#include "dialogs/kestrane_resources.h"
#include "ipc/message.h"
#include "sessions/channel_stats_info.h"
#include "sessions/peer_meta.h"
#include "sessions/peer_stats_info.h"
#include "tests/app/dock_fixture.h"
#include "tests/support/unplaced_session.h"

namespace {

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

// A session whose lists come from peer and profile lists given as XML, as the codec sends them.
class ListedSession : public test_support::UnplacedSession {
public:
    ListedSession() : UnplacedSession(key.toString(), key) {}

    void listPeers(const std::string& peers) {
        cache_message(parsed("<resp seq=\"peerList\">" + peers + "</resp>"), QStringLiteral("peerList"));
        QMetaObject::invokeMethod(this, "cb_resp_peerList", Qt::DirectConnection);
    }
    void listProfiles(const std::string& list) {
        cache_message(parsed("<resp seq=\"profileList\">" + list + "</resp>"), QStringLiteral("profileList"));
        QMetaObject::invokeMethod(this, "cb_resp_profileList", Qt::DirectConnection);
    }
    void cache(const char* name, const std::string& xml) { cache_message(parsed(xml), QString::fromLatin1(name)); }

    static inline const QUuid key = QUuid::createUuid();
};

std::string book(const char* id, const char* name, const char* addr = "10.0.0.9:9000") {
    return std::string("<peer id=\"") + id + "\" name=\"" + name + "\" addr=\"" + addr + "\"/>";
}

std::string directory(const char* id, const char* name) {
    return std::string("<peer id=\"") + id + "\" name=\"" + name + "\"><directory online=\"true\"/></peer>";
}

QStringList rowIds(QTreeWidget& tree) {
    QStringList ids;
    for (int row = 0; row < tree.topLevelItemCount(); ++row) ids << tree.topLevelItem(row)->data(0, kPeerIdRole).toString();
    return ids;
}

class PeerTree : public ::testing::Test {
protected:
    PeerTree() : panel(&tree, &filter) {
        initKestraneResources();
        createPeerStateIcons();
        tree.setColumnCount(5);
    }

    QTreeWidget tree;
    QLineEdit filter;
    PeerTreePanel panel;
    ListedSession session;
};

// Rows keep their place and selection across peer lists; address-book peers stay ahead of the
// directory's, each group in the codec's order.
TEST_F(PeerTree, UpdatesInPlaceWithAddressBookPeersFirst) {
    const struct {
        const char* what;
        std::string peers;
        const char* rows;
    } steps[] = {
        {"first list", book("1", "A") + directory("7", "D") + book("2", "B"), "1 2 7"},
        {"a new address-book peer goes before the directory's", book("1", "A") + directory("7", "D") +
                                                                    book("2", "B") + book("3", "C"),
         "1 2 3 7"},
        {"a new directory peer goes last", book("1", "A") + directory("7", "D") + directory("8", "E") +
                                               book("2", "B") + book("3", "C"),
         "1 2 3 7 8"},
        {"a peer that left goes", book("1", "A") + directory("7", "D") + directory("8", "E") + book("3", "C"),
         "1 3 7 8"},
        {"one peer for two rows of its id: the first row stays",
         book("1", "A") + directory("7", "D") + directory("8", "E") + book("3", "C"), "1 3 7 8"},
    };
    session.listPeers(steps[0].peers);
    panel.refill(session);
    EXPECT_EQ(rowIds(tree).join(' '), steps[0].rows);
    tree.setCurrentItem(tree.topLevelItem(2));  // rows come and go before it
    for (size_t i = 1; i < std::size(steps); ++i) {
        SCOPED_TRACE(steps[i].what);
        if (i == std::size(steps) - 1) tree.addTopLevelItem(new QTreeWidgetItem(*tree.topLevelItem(0)));
        session.listPeers(steps[i].peers);
        panel.update(session);
        EXPECT_EQ(rowIds(tree).join(' '), steps[i].rows);
        ASSERT_EQ(tree.selectedItems().size(), 1);
        EXPECT_EQ(tree.selectedItems()[0]->text(0), "D");
    }
}

// Peer rows as the tree shows them (the two colours and four icons are the program's own).
TEST_F(PeerTree, RowsShowTheStateOfEachPeer) {
    const struct {
        const char* what;
        std::string peer;
        QStringList texts;  // columns 0 to 4; "=" keeps what the row showed before
        PeerStateIcon icon;
        bool hasIcon;
        bool isActive;
    } rows[] = {
        {"address book", "<peer id=\"1\" name=\"A\" addr=\"10.0.0.9:9000\" bdlink=\"true\"/>",
         {"A", "10.0.0.9", "", "", "Yes"}, {}, false, false},
        {"incoming", "<peer id=\"3-1\" name=\"In\" addr=\"10.0.0.8\" active=\"true\" chan_state=\"connected\" "
                     "rx_codec=\"Opus\"/>",
         {"In", "(incoming)", "connected", "Opus", ""}, {}, false, true},
        {"offline whatever it says", "<peer id=\"5\" name=\"D\" can_connect=\"busy\"><directory online=\"false\"/></peer>",
         {"D", "=", "", "", "No"}, PeerStateIcon::Gray, true, false},
        {"test failed", "<peer id=\"5\" name=\"D\" can_connect=\"ts_fail\"><directory online=\"true\"/></peer>",
         {"D", "=", "", "", "No"}, PeerStateIcon::Red, true, false},
        {"busy", "<peer id=\"5\" name=\"D\" can_connect=\"busy\"><directory online=\"true\"/></peer>",
         {"D", "=", "", "", "No"}, PeerStateIcon::Yellow, true, false},
        {"reachable", "<peer id=\"5\" name=\"D\" active=\"true\" bdlink=\"true\"><directory online=\"true\"/></peer>",
         {"D", "=", "", "", "Yes"}, PeerStateIcon::Green, true, true},
        {"no longer active", "<peer id=\"5\" name=\"&lt;b&gt;D\"><directory online=\"true\"/></peer>",
         {"<b>D", "=", "", "", "No"}, PeerStateIcon::Green, true, false},
    };
    QTreeWidgetItem item;
    item.setText(1, QStringLiteral("kept"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const PeerMeta peer(parsed(row.peer));
        const QString before = item.text(1);
        setPeerTreeItemData(&item, &peer);
        for (int column = 0; column < 5; ++column) {
            EXPECT_EQ(item.text(column), row.texts[column] == "=" ? before : row.texts[column]) << column;
            EXPECT_EQ(item.background(column).color(), row.isActive ? activePeerBackground : idlePeerBackground);
        }
        EXPECT_EQ(item.data(0, kPeerIdRole).toString(), peer.id);
        EXPECT_EQ(item.data(0, kPeerActiveRole).toBool(), row.isActive);
        EXPECT_EQ(item.data(0, kPeerDirectoryRole).toBool(), row.hasIcon);
        if (row.hasIcon) {
            EXPECT_EQ(item.icon(0).cacheKey(), peerStateIcon(row.icon).cacheKey());
        } else {
            EXPECT_EQ(item.data(0, kPeerAddressRole).toString(), peer.addr);
        }
    }
}

// Filters match names and addresses, ignoring case, and colour their line by the outcome.
TEST(DockFilters, MatchNamesAndAddresses) {
    QTreeWidget tree;
    QLineEdit peerLine;
    PeerTreePanel peers(&tree, &peerLine);
    for (const auto& [name, address] : {std::pair{"Studio A", "10.0.0.5"}, {"Field", "192.0.2.1"}})
        new QTreeWidgetItem(&tree, {name, address});
    QListWidget list;
    QLineEdit profileLine;
    ProfileListPanel profiles(&list, &profileLine);
    list.addItems({"Studio A", "<Field>"});
    const struct {
        const char* text;
        const char* shownPeers;
        const char* shownProfiles;
        const char* colour;
    } cases[] = {
        {"stud", "Studio A", "Studio A", "#FF6"},
        {"10.0", "Studio A", "", "#FF6"},
        {"FIELD", "Field", "<Field>", "#FF6"},
        {"zzz", "", "", "#F64"},
        {"", "Studio A,Field", "Studio A,<Field>", "#FFF"},
    };
    for (const auto& c : cases) {
        peerLine.setText(c.text);
        peers.applyFilter();
        profileLine.setText(c.text);
        profiles.applyFilter();
        QStringList shownPeers;
        for (int row = 0; row < tree.topLevelItemCount(); ++row)
            if (!tree.topLevelItem(row)->isHidden()) shownPeers << tree.topLevelItem(row)->text(0);
        QStringList shownProfiles;
        for (int row = 0; row < list.count(); ++row)
            if (!list.item(row)->isHidden()) shownProfiles << list.item(row)->text();
        EXPECT_EQ(shownPeers.join(','), c.shownPeers) << c.text;
        EXPECT_EQ(shownProfiles.join(','), c.shownProfiles) << c.text;
        if (*c.shownPeers) {
            EXPECT_EQ(peerLine.styleSheet(), QStringLiteral("background-color: %1;").arg(c.colour));
        }
    }
    EXPECT_EQ(profileLine.styleSheet(), "background-color: #FFF;");
}

// A peer's profile "0" is the unit's default profile, when the codec has one.
TEST(DockProfiles, APeersProfileIsSelectedByIdOrAsTheDefault) {
    QListWidget list;
    QLineEdit line;
    ProfileListPanel panel(&list, &line);
    ListedSession session;
    session.listProfiles(
        "<profile id=\"0\"><settings name=\"Zero\"/></profile>"
        "<profile id=\"1\" default=\"true\"><settings name=\"Main\"/></profile>"
        "<profile id=\"2\"><settings name=\"Factory\" factory=\"true\"/></profile>");
    panel.refill(session);
    QStringList texts;
    for (int row = 0; row < list.count(); ++row) texts << list.item(row)->text();
    EXPECT_EQ(texts.join(','), "Zero,<Main>,Factory");
    EXPECT_TRUE(list.item(2)->data(kProfileFactoryRole).toBool());
    const struct {
        const char* id;
        const char* defaultId;
        const char* selected;  // empty: the selection is kept
    } cases[] = {
        {"2", "1", "Factory"}, {"0", "1", "<Main>"}, {"0", "", "Zero"}, {"9", "1", "Zero"},
    };
    for (const auto& c : cases) {
        panel.selectProfileById(c.id, c.defaultId);
        ASSERT_NE(panel.selectedProfileItem(), nullptr) << c.id;
        EXPECT_EQ(panel.selectedProfileItem()->text(), c.selected) << c.id << " " << c.defaultId;
    }
}

// Rates in bit/s, delays in tenths of a millisecond and losses in tenths of a percent, all
// truncated; the call time as a clock that restarts after a day.
TEST(DockStatistics, RowTextsTruncateTheCodecsUnits) {
    PeerStatsInfo peer;
    ChannelStatsInfo channel;
    const struct {
        unsigned callTime;
        int rate;    // receive payload, bit/s
        int delay;   // receive delay, tenths of ms
        int loss;    // frame loss, tenths of %
        const char* texts;
    } cases[] = {
        {3725, 1999, 125, 7, "Unit,01:02:05,1kbps,0kbps,12ms,0kbps,0kbps,0ms,0%,0%"},
        {90000, 64000, 9, 1000, "Unit,01:00:00,64kbps,0kbps,0ms,0kbps,0kbps,0ms,100%,0%"},
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
    session.cache("sysOptions", "<sysOptions unit_name=\"&lt;b&gt;Studio\"/>");
    dock().showSession(&session);
    auto* name = child<QLabel>("nameLabel");
    EXPECT_EQ(name->text(), "<b>Studio (10.0.0.5:80)");
    EXPECT_EQ(name->textFormat(), Qt::PlainText);

    const struct {
        const char* what;
        const char* reply;  // cached under its element's name
        void (CodecDock::*slot)();
        std::vector<std::pair<const char*, const char*>> labels;  // label, text ("style:" its style sheet)
    } cases[] = {
        {"registered", "<sipProxy enabled=\"true\" online=\"true\" status=\"registered\"/>", &CodecDock::ipcRecvSipProxy,
         {{"sipStatusLabel", "Connected (registered)"}}},
        {"SIP offline", "<sipProxy enabled=\"true\"/>", &CodecDock::ipcRecvSipProxy,
         {{"sipStatusLabel", "Not Connected"}}},
        {"SIP off", "<sipProxy online=\"true\"/>", &CodecDock::ipcRecvSipProxy, {{"sipStatusLabel", "Disabled"}}},
        {"directory off still shows the address",
         "<directoryServer enabled=\"false\" nat_addr=\"203.0.113.9\" nat_type=\"Full Cone\"/>",
         &CodecDock::ipcRecvDirectoryServer,
         {{"relaydeskStatusLabel", "Disabled"}, {"relaydeskStatusLabel", "style:color: darkYellow"},
          {"publicIpLabel", "203.0.113.9"}, {"natTypeLabel", "Full Cone"}}},
        {"directory online", "<directoryServer enabled=\"true\" connected=\"true\"/>",
         &CodecDock::ipcRecvDirectoryServer,
         {{"relaydeskStatusLabel", "Online"}, {"relaydeskStatusLabel", "style:color: darkGreen"}, {"publicIpLabel", ""}}},
        {"directory offline", "<directoryServer enabled=\"true\"/>", &CodecDock::ipcRecvDirectoryServer,
         {{"relaydeskStatusLabel", "Offline"}, {"relaydeskStatusLabel", "style:color: darkRed"}}},
        {"encoder without a connection", "<currentEncoder descr=\"Opus 64k\"/>", &CodecDock::ipcRecvCurrentEncoder,
         {{"encoderLabel", "None"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Message reply = parsed(c.reply);
        session.cache(reply.name().c_str(), c.reply);
        (dock().*c.slot)();
        for (const auto& [label, text] : c.labels) {
            auto* shown = child<QLabel>(label);
            const std::string expected = text;
            if (expected.rfind("style:", 0) == 0)
                EXPECT_EQ(shown->styleSheet().toStdString(), expected.substr(6)) << label;
            else
                EXPECT_EQ(shown->text().toStdString(), expected) << label;
        }
    }
    // A peer list with a connection shows the encoder at once.
    session.listPeers("<peer id=\"1\" name=\"A\" active=\"true\" channel=\"1\"/>");
    EXPECT_EQ(child<QLabel>("encoderLabel")->text(), "Opus 64k");
    dock().showSession(nullptr);
    EXPECT_TRUE(child<QLabel>("encoderLabel")->text().isEmpty());
    EXPECT_TRUE(name->text().isEmpty());
}

}  // namespace
