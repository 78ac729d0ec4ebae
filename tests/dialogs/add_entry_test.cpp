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
    tick->setChecked(true);
    dialog.lockIdentity();
    EXPECT_FALSE(tick->isEnabled() || mac->isEnabled());
    EXPECT_TRUE(dialog.isBraidlinkTicked());
    EXPECT_FALSE(dialog.usesBraidlink());  // what is not offered is not used
}

// A peer list spells the password "pw" or "password" and the flag "bdlink" or "use_bdlink".
TEST(AddEntry, AnEditedEntryIsFilledFromThePeerElement) {
    const struct {
        const char* peer;
        const char* password;
    } cases[] = {
        {R"(<peer name="A" addr="10.0.0.1:9000" pw="x" password="y" bdlink="true" unit="u"/>)", "x"},
        {R"(<peer name="A" addr="10.0.0.1:9000" password="y" use_bdlink="true" unit="u"/>)", "y"},
    };
    for (const auto& c : cases) {
        Message peer;
        peer.parse(c.peer);
        AddEntry dialog;
        dialog.setEntry(peer);
        EXPECT_EQ(dialog.name() + dialog.address() + dialog.password() + dialog.unit(),
                  QStringLiteral("A10.0.0.1:9000%1u").arg(c.password));
        EXPECT_TRUE(dialog.usesBraidlink());
        EXPECT_TRUE(dialog.findChild<QLineEdit*>("macAddressLineEdit")->isEnabled());
    }
}

}  // namespace
