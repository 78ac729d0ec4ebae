#include <gtest/gtest.h>

#include <QListWidget>

#include <memory>
#include <vector>

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
    EXPECT_EQ(row->text(), "10.0.0.5:5004 (Not connected)");
    EXPECT_FALSE(row->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(row->data(Qt::UserRole).toUuid(), key);
    row->setCheckState(Qt::Checked);
    ASSERT_EQ(dialog.selectedTargets().size(), 1);
    EXPECT_EQ(dialog.selectedTargets()[0].label, "10.0.0.5:5004");
}

// The rows go by name, whatever order the sessions come in; a codec that has not told its name
// shows as its address, and sorts by it.
TEST(SendDialog, CodecsAreListedByName) {
    std::vector<std::unique_ptr<test_support::UnplacedSession>> sessions;
    QList<IPCObject*> targets;
    for (const auto& [port, name] :
         {std::pair<int, const char*>{2, "studio b"}, {9, nullptr}, {3, "Studio A"}, {1, "OB Van"}, {2, "Studio A"}}) {
        const QUuid key = QUuid::createUuid();
        sessions.push_back(std::make_unique<test_support::UnplacedSession>(key.toString(), key));
        sessions.back()->setAddress(QStringLiteral("10.0.0.5"), port);
        if (name) {
            sessions.back()->cache_message(Message(std::string("<sysOptions unit_name=\"") + name + "\"/>"),
                                           "sysOptions");
        }
        targets << sessions.back().get();
    }
    SendDialog dialog;
    dialog.setTargets(targets, SendDialog::Copy::Peer);
    const QListWidget* list = dialog.findChild<QListWidget*>("deviceList");
    QStringList shown;
    for (int row = 0; row < list->count(); ++row) shown << list->item(row)->data(Qt::UserRole + 1).toString();
    EXPECT_EQ(shown.join('|').toStdString(), "10.0.0.5:9|OB Van : 10.0.0.5:1|Studio A : 10.0.0.5:2|"
                                             "Studio A : 10.0.0.5:3|studio b : 10.0.0.5:2");
}

}  // namespace
