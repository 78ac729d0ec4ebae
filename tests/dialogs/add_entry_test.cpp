#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>

#include "dialogs/add_entry.h"
#include "ipc/message.h"

namespace {

TEST(AddEntry, BraidlinkUnlocksTheMacAddressAndUntickingKeepsIt) {
    AddEntry dialog;
    auto* tick = dialog.findChild<QCheckBox*>("braidlinkEnableCheckBox");
    auto* mac = dialog.findChild<QLineEdit*>("macAddressLineEdit");
    EXPECT_FALSE(mac->isEnabled());
    tick->setChecked(true);
    EXPECT_TRUE(mac->isEnabled());
    mac->setText("00:11:22:33:44:55");
    tick->setChecked(false);
    EXPECT_FALSE(mac->isEnabled());
    EXPECT_EQ(dialog.unit(), "00:11:22:33:44:55");

    // A peer list may spell the password "password" and the flag "use_bdlink".
    Message peer;
    peer.parse(R"(<peer name="A" addr="10.0.0.1:9000" password="y" use_bdlink="true"/>)");
    dialog.setEntry(peer);
    EXPECT_EQ(dialog.password() + dialog.unit(), "y");
    EXPECT_TRUE(mac->isEnabled() && dialog.usesBraidlink());
}

}  // namespace
