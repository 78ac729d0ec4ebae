#include <gtest/gtest.h>

#include <QListWidget>

#include "dialogs/send_dialog.h"
#include "tests/support/unplaced_session.h"

namespace {

// A codec that is not READY could not take a copy: its row is off and says why.
TEST(SendDialog, CodecsThatAreNotReadyAreListedOff) {
    const QUuid key = QUuid::createUuid();
    test_support::UnplacedSession offline(key.toString(), key);
    offline.setAddress(QStringLiteral("10.0.0.5"), 5004);
    SendDialog dialog;
    dialog.setTargets({&offline}, SendDialog::Copy::Peer);
    QListWidgetItem* row = dialog.findChild<QListWidget*>("deviceList")->item(0);
    EXPECT_EQ(row->text(), " : 10.0.0.5:5004 (Not connected)");
    EXPECT_FALSE(row->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(row->data(Qt::UserRole).toUuid(), key);
    row->setCheckState(Qt::Checked);
    ASSERT_EQ(dialog.selectedTargets().size(), 1);
    EXPECT_EQ(dialog.selectedTargets()[0].label, " : 10.0.0.5:5004");
}

}  // namespace
