#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <mutex>

#include "app/dock/connection_dialog.h"
#include "app/dock/peer_items.h"
#include "tests/app/dock/dock_fixture.h"

namespace {

using test_support::wait_processing_events;

QStringList rowTexts(const QListWidget& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row) texts << list.item(row)->text();
    return texts;
}

class ConnectionDialogTest : public app_test::DockFixture {};

// Address-book peers first, "name (address)", then the directory's with their state icon; a new
// peer list rebuilds the list and drops the selection there. OK wants a peer.
TEST_F(ConnectionDialogTest, ListsBookPeersThenDirectoryPeersAndFollowsTheCodec) {
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    ConnectionDialog dialog;
    dialog.connectInstance(session);
    dialog.ipcPeerListUpdate({});
    dialog.ipcProfileListUpdate({});
    auto* peers = dialog.findChild<QListWidget*>("peerList");
    const auto expected = [session] {
        std::lock_guard<SessionMutex> lock(session->mutex());
        QStringList texts;
        for (const PeerMetaPtr& peer : session->bookPeers) texts << peer->name + " (" + peer->addr + ")";
        for (const PeerMetaPtr& peer : session->directoryPeers) texts << peer->name;
        return texts;
    };
    EXPECT_EQ(rowTexts(*peers), expected());
    ASSERT_EQ(peers->count(), 5);
    EXPECT_FALSE(peers->item(4)->icon().isNull());
    EXPECT_TRUE(peers->item(4)->data(kPeerDirectoryRole).toBool());
    EXPECT_EQ(dialog.findChild<QListWidget*>("profileList")->count(), session->profiles.size());

    dialog.show();
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.findChild<QLabel*>("problemLabel")->text(), "Select the peer to connect.");

    peers->setCurrentRow(0);
    EXPECT_FALSE(dialog.selectedPeerId().isEmpty());
    session->cmd_add_peer(QStringLiteral("Late"), QStringLiteral("10.9.9.9"), QString());
    ASSERT_TRUE(wait_processing_events([&] { return peers->count() == 6; }));
    EXPECT_EQ(peers->item(4)->text(), "Late (10.9.9.9)");
    EXPECT_EQ(rowTexts(*peers), expected());
    EXPECT_TRUE(dialog.selectedPeerId().isEmpty());
}

}  // namespace
