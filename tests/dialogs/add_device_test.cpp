#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include "dialogs/add_device.h"

namespace {

template <class Widget>
Widget* child(const QWidget& dialog, const char* name) {
    Widget* widget = dialog.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

TEST(AddDevice, OpensOnTheAddressWithPort80AndTwoTabs) {
    AddDevice dialog;
    dialog.show();
    QLineEdit* address = child<QLineEdit>(dialog, "lineIPAddress");
    EXPECT_EQ(dialog.windowTitle(), "Add Codec");
    EXPECT_EQ(address->text(), "");
    EXPECT_EQ(address->placeholderText(), "0.0.0.0");
    EXPECT_EQ(child<QLineEdit>(dialog, "linePort")->text(), "80");
    EXPECT_EQ(dialog.focusWidget(), address);
    QTabWidget* tabs = child<QTabWidget>(dialog, "tabWidget");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabText(1), "Sounds");
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(dialog.emailAddresses().isEmpty());
    EXPECT_EQ(child<QLineEdit>(dialog, "lineAudioStart")->placeholderText(), "Leave blank for default");
}

// What OK does with the fields: accept them, or stay open with a note beside the refused field.
struct OkCase {
    const char* address;
    const char* port;
    const char* sound;  // the audio-start field; "@" stands for an existing file
    const char* note;   // the refused field's note; null when the dialog accepts
    const char* text;
};

const char kNoAddress[] = "Enter the codec's IP address.";
const char kNotNumeric[] = "Enter a numeric IPv4 or IPv6 address: host names are not looked up.";
const char kBadPort[] = "Enter a port from 23 to 65535.";
const char kNoFile[] = "There is no file at this path.";
const char kInFleet[] = "A codec at this address and port is already in the fleet.";

const OkCase kOk[] = {
    {"", "80", "", "errorIPAddress", kNoAddress},
    {"   ", "80", "", "errorIPAddress", kNoAddress},
    {"codec.studio.example", "80", "", "errorIPAddress", kNotNumeric},
    {"10.1.2", "80", "", "errorIPAddress", kNotNumeric},
    {"[::1]", "80", "", "errorIPAddress", kNotNumeric},
    {"10.1.2.3", "12", "", "errorPort", kBadPort},
    {"10.1.2.3", "70000", "", "errorPort", kBadPort},
    {"10.1.2.3", "", "", "errorPort", kBadPort},
    {"10.1.2.3", "80", "/no/such/start.wav", "errorAudioStart", kNoFile},
    {" 10.1.2.3 ", "23", "@", nullptr, nullptr},
    {"fe80::1", "65535", "", nullptr, nullptr},
    // The fleet holds 10.9.9.9:5004 and ::1:5004 (see below).
    {"10.9.9.9", "5004", "", "errorIPAddress", kInFleet},
    {"0:0::1", "5004", "", "errorIPAddress", kInFleet},
    {"10.9.9.9", "5005", "", nullptr, nullptr},
};

TEST(AddDevice, OkAcceptsOnlyWhatTheAddRoadCanUse) {
    QTemporaryDir folder;
    const QString existing = folder.filePath("start.wav");
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (const auto& c : kOk) {
        AddDevice dialog;
        dialog.setFleetAddresses({{"10.9.9.9", 5004}, {"::1", 5004}});
        dialog.show();
        child<QLineEdit>(dialog, "lineIPAddress")->setText(c.address);
        child<QLineEdit>(dialog, "linePort")->setText(c.port);
        const QString sound = QString::fromUtf8(c.sound) == "@" ? existing : QString::fromUtf8(c.sound);
        child<QLineEdit>(dialog, "lineAudioStart")->setText(sound);
        child<QPushButton>(dialog, "buttonOK")->click();

        const std::string what = std::string(c.address) + " " + c.port + " " + c.sound;
        if (!c.note) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted) << what;
            EXPECT_EQ(dialog.address(), QString::fromUtf8(c.address).trimmed()) << what;
            EXPECT_EQ(dialog.port(), QString::fromUtf8(c.port).toInt()) << what;
            EXPECT_EQ(dialog.audioConnectFile(), sound) << what;
            continue;
        }
        EXPECT_TRUE(dialog.isVisible()) << what;
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << what;
        QLabel* note = child<QLabel>(dialog, c.note);
        EXPECT_TRUE(note->isVisible()) << what;
        EXPECT_EQ(note->text(), c.text) << what;
        // The refused field's tab is shown and holds the focus.
        EXPECT_TRUE(dialog.focusWidget() && dialog.focusWidget()->isVisible()) << what;
        // Editing the field takes its note away.
        QLineEdit* field = qobject_cast<QLineEdit*>(dialog.focusWidget());
        ASSERT_NE(field, nullptr) << what;
        field->setText(field->text() + "x");
        EXPECT_FALSE(note->isVisible()) << what;
    }
}

}  // namespace
