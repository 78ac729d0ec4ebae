#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>
#include <QtTest/QTest>

#include "dialogs/add_multiple_devices.h"

namespace {

// Opens on port 8081 with no address and no count chosen; the port takes no letters.
TEST(AddMultipleDevices, OpensOnPort8081WithNothingChosenAndRefusesLettersInThePort) {
    AddMultipleDevices dialog;
    auto* port = dialog.findChild<QLineEdit*>("linePort");
    EXPECT_EQ(dialog.findChild<QLineEdit*>("lineIPAddress")->text(), "");
    EXPECT_EQ(port->text(), "8081");
    EXPECT_FALSE(dialog.findChild<QRadioButton*>("radioFive")->isChecked());
    EXPECT_FALSE(dialog.findChild<QRadioButton*>("radioTen")->isChecked());
    port->clear();
    QTest::keyClicks(port, "9a0b");
    EXPECT_EQ(port->text(), "90");
}

}  // namespace
