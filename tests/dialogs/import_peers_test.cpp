#include <gtest/gtest.h>

#include <QListWidget>

#include <memory>

#include "dialogs/import_peers.h"

namespace {

TEST(ImportPeers, ReportsTheTickedRowsHighestFirst) {
    QList<PeerMetaPtr> peers;
    for (const char* name : {"A", "B", "C"}) {
        auto peer = std::make_shared<PeerMeta>();
        peer->name = name;
        peer->addr = QStringLiteral("10.0.0.1");
        peers << peer;
    }
    ImportPeers dialog;
    auto* list = dialog.findChild<QListWidget*>("listPeers");
    dialog.setPeers(peers);
    EXPECT_EQ(list->item(1)->text(), "B (10.0.0.1)");
    EXPECT_TRUE(dialog.selectedIds().isEmpty());
    list->item(0)->setCheckState(Qt::Checked);
    list->item(1)->setCheckState(Qt::PartiallyChecked);
    list->item(2)->setCheckState(Qt::Checked);
    EXPECT_EQ(dialog.selectedIds(), (QList<int>{2, 0}));
    dialog.setPeers(peers.mid(2));  // a new filling clears every tick
    EXPECT_EQ(list->count(), 1);
    EXPECT_TRUE(dialog.selectedIds().isEmpty());
}

}  // namespace
