#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>

#include "dialogs/add_entry.h"
#include "ipc/message/message.h"
#include "text/codec_text.h"

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

// A field longer than codec text is shown goes back whole unless the operator changed it.
TEST(AddEntry, AFieldShownCutGoesBackWholeUnlessChanged) {
    const QString longName(kMaxShownCodecText + 100, QLatin1Char('n'));
    Message peer;
    peer.parse("<peer name=\"" + longName.toStdString() + "\" addr=\"10.0.0.1\" pw=\"x\"/>");
    AddEntry dialog;
    dialog.setEntry(peer);
    auto* name = dialog.findChild<QLineEdit*>("lineName");
    EXPECT_EQ(name->text().size(), kMaxShownCodecText);
    EXPECT_EQ(dialog.name(), longName);
    name->setText("Studio");
    EXPECT_EQ(dialog.name(), "Studio");
}

}  // namespace
