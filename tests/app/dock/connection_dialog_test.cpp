#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

#include <mutex>

#include "app/dock/connection_dialog.h"
#include "app/dock/peer_items.h"
#include "tests/app/dock/dock_fixture.h"

namespace {

class ConnectionDialogTest : public app_test::DockFixture {};

// Address-book peers first, "name (address)", then the directory's with their state icon; a new
// peer list rebuilds the list and keeps the chosen peer. OK wants a peer.
TEST_F(ConnectionDialogTest, ListsBookPeersThenDirectoryPeersAndFollowsTheCodec) {
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    ConnectionDialog dialog;
    dialog.connectInstance(session);
    dialog.ipcPeerListUpdate({});
    auto* peers = dialog.findChild<QListWidget*>("peerList");
    const auto matchesTheCodec = [&] {
        std::lock_guard<SessionMutex> lock(session->mutex());
        QStringList texts;
        for (const PeerMetaPtr& peer : session->bookPeers) texts << peer->name + " (" + peer->addr + ")";
        for (const PeerMetaPtr& peer : session->directoryPeers) texts << peer->name;
        QStringList shown;
        for (int row = 0; row < peers->count(); ++row) shown << peers->item(row)->text();
        return shown == texts;
    };
    EXPECT_TRUE(matchesTheCodec());
    EXPECT_TRUE(peers->item(4)->data(kPeerDirectoryRole).toBool() && !peers->item(4)->icon().isNull());

    dialog.show();
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.findChild<QLabel*>("problemLabel")->text(), "Select the peer to connect.");

    peers->setCurrentRow(0);
    session->cmd_add_peer(QStringLiteral("Late"), QStringLiteral("10.9.9.9"), QString());
    ASSERT_TRUE(test_support::wait_processing_events([&] { return peers->count() == 6; }));
    EXPECT_EQ(peers->item(4)->text(), "Late (10.9.9.9)");
    EXPECT_TRUE(matchesTheCodec());
    EXPECT_EQ(dialog.selectedPeerId(), peers->item(0)->data(kPeerIdRole).toString());
}

}  // namespace
