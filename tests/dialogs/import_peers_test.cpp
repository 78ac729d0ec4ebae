#include <gtest/gtest.h>

#include <QListWidget>

#include <memory>

#include "dialogs/import_peers.h"

namespace {

PeerMetaPtr peer(const char* name) {
    auto made = std::make_shared<PeerMeta>();
    made->name = name;
    made->addr = QStringLiteral("10.0.0.1");
    return made;
}

TEST(ImportPeers, ReportsTheTickedRowsHighestFirst) {
    ImportPeers dialog;
    EXPECT_EQ(dialog.windowTitle(), "Import Remotes From Codec");
    auto* list = dialog.findChild<QListWidget*>("listPeers");
    dialog.setPeers({peer("A"), peer("B"), peer("C")});
    EXPECT_EQ(list->item(1)->text(), "B (10.0.0.1)");
    EXPECT_TRUE(dialog.selectedIds().isEmpty());
    list->item(0)->setCheckState(Qt::Checked);
    list->item(1)->setCheckState(Qt::PartiallyChecked);
    list->item(2)->setCheckState(Qt::Checked);
    EXPECT_EQ(dialog.selectedIds(), (QList<int>{2, 0}));
    dialog.setPeers({peer("D")});  // a new filling clears every tick
    EXPECT_EQ(list->count(), 1);
    EXPECT_TRUE(dialog.selectedIds().isEmpty());
}

}  // namespace
