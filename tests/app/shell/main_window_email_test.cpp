// The main window's two alert e-mail slots and their dialogs, on two READY codecs of codec-sim and
// one on a closed loopback port. The lists live in memory: kt-config.xml never holds an address.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "app/fleet/zorva_summary.h"
#include "tests/app/app_fixture.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/qt_wait.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

template <class Widget>
Widget* child(QObject* parent, const char* name) {
    return parent->findChild<Widget*>(QString::fromLatin1(name));
}

void type(QDialog* dialog, const char* line, const char* button, const QString& text) {
    child<QLineEdit>(dialog, line)->setText(text);
    child<QPushButton>(dialog, button)->click();
}

// Presses the button; a filled dialog is first saved as a PNG outside the tree, for review.
void press(QDialog* dialog, QDialogButtonBox::StandardButton button, const char* png = nullptr) {
    const QString folder = QDir::temp().filePath(QStringLiteral("kestrane-email-dialogs"));
    EXPECT_TRUE(!png || (QDir().mkpath(folder) && dialog->grab().save(folder + QLatin1Char('/') + png)));
    child<QDialogButtonBox>(dialog, "buttonBox")->button(button)->click();
}

// Counts the dialogs shown while it lives, and rejects each.
struct DialogWatch : QObject {
    DialogWatch() { qApp->installEventFilter(this); }
    bool eventFilter(QObject* target, QEvent* event) override {
        auto* dialog = event->type() == QEvent::Show ? qobject_cast<QDialog*>(target) : nullptr;
        if (dialog) QTimer::singleShot(0, dialog, &QDialog::reject);
        shown += dialog ? 1 : 0;
        return false;
    }
    int shown = 0;
};

class EmailLists : public app_test::AppFixture {
protected:
    EmailLists()
        : fleet([] {
              CodecSimOptions two;
              two.count = 2;
              return two;
          }()) {
        openWindow();
        pool->start_managers();
    }
    ~EmailLists() override { closeWindow(); }

    void addCodec(uint16_t port) {
        IPCObject* session = findInstance(window->createInstance());
        session->setConnection(QStringLiteral("127.0.0.1"), port, QStringLiteral("tarnel"));
        tileOf[session] = window->summary()->addInstance(session);
    }

    // The closed codec, then the two that become READY (`ready`, in key order).
    void fillRegistry() {
        addCodec(closed_port);
        for (const uint16_t port : fleet.ports()) addCodec(port);
        ASSERT_TRUE(test_support::wait_processing_events([&] {
            ready.clear();
            for (IPCObject* session : qAsConst(instanceMap)) {
                if (session->state() == IQEndpointClient::READY) ready << session;
            }
            return ready.size() == 2;
        }));
    }

    // Whether kt-config.xml was written; it must never hold an address.
    bool isSaved() const {
        QFile file(folder.configFile());
        if (!file.open(QIODevice::ReadOnly)) return false;
        EXPECT_FALSE(file.readAll().contains("@x.org"));
        return true;
    }

    CodecSim fleet;
    const uint16_t closed_port = CodecSim(CodecSimOptions{}).ports()[0];  // given up at once
    QMap<IPCObject*, QUuid> tileOf;
    QList<IPCObject*> ready;
};

TEST_F(EmailLists, AssignmentNeedsAReadyCodecAndOpensNothingWithout) {
    DialogWatch dialogs;
    MessageBoxRecorder boxes;
    window->assignEmailAddressesTriggered();
    addCodec(closed_port);
    window->assignEmailAddressesTriggered();
    EXPECT_EQ(boxes.lastText("No Devices"),
              "To assign an alert email address to a device, you must first add a device to Kestrane.");
    EXPECT_EQ(boxes.lastText("No Devices Ready"),
              "No devices are currently ready. Make sure you have an active internet connection on this "
              "computer and on your codecs, then try again.");
    EXPECT_EQ(boxes.boxes().size(), 2u);
    EXPECT_EQ(dialogs.shown, 0);
}

// What the operator does in the assignment dialog, and what the two READY codecs hold after it.
struct AssignCase {
    const char* what;
    QStringList first_before;
    QStringList typed;
    bool selects_both;
    bool removes_first;  // the first codec leaves the fleet while the dialog is open
    QDialogButtonBox::StandardButton button;
    QStringList first_after, second_after;
    bool is_saved;
};

const AssignCase kAssign[] = {
    {"typed twice, one held",
     {"b@x.org"},
     {"a@x.org", "a@x.org", "b@x.org"},
     true,
     false,
     QDialogButtonBox::Ok,
     {"b@x.org", "a@x.org"},
     {"a@x.org", "b@x.org"},
     true},
    {"cancel", {}, {"a@x.org"}, true, false, QDialogButtonBox::Cancel, {}, {}, false},
    {"nothing selected", {}, {"a@x.org"}, false, false, QDialogButtonBox::Ok, {}, {}, true},
    {"codec removed", {}, {"a@x.org"}, true, true, QDialogButtonBox::Ok, {}, {"a@x.org"}, true},  // last
};

TEST_F(EmailLists, AssignmentAddsEachAddressOnceToSelectedReadyCodecs) {
    fillRegistry();
    const QStringList names = {ready[0]->unitName(), ready[1]->unitName()};
    for (const AssignCase& c : kAssign) {
        SCOPED_TRACE(c.what);
        QFile::remove(folder.configFile());
        QPointer<IPCObject> first = ready[0];
        first->alertEmails = c.first_before;
        ready[1]->alertEmails.clear();
        test_support::on_next_modal([&](QDialog* dialog) {
            auto* list = child<QListWidget>(dialog, "unitsList");
            QStringList units;
            for (int row = 0; row < list->count(); ++row) units << list->item(row)->text();
            EXPECT_EQ(units, names);
            QString add_enabled;
            for (const char* text : {"a@b.cd", "a@b.c", "ab@cde"}) {
                child<QLineEdit>(dialog, "lineEdit")->setText(text);
                add_enabled += child<QPushButton>(dialog, "emailAppendButton")->isEnabled() ? '+' : '-';
            }
            EXPECT_EQ(add_enabled, "+--");
            for (const QString& text : c.typed) type(dialog, "lineEdit", "emailAppendButton", text);
            if (c.selects_both) list->selectAll();
            if (c.removes_first) window->summary()->removeInstance(tileOf[first]);
            press(dialog, c.button, &c == kAssign ? "assignment.png" : nullptr);
        });
        window->assignEmailAddressesTriggered();
        EXPECT_EQ(first ? QStringList(first->alertEmails) : c.first_after, c.first_after);
        EXPECT_EQ(ready[1]->alertEmails, c.second_after);
        EXPECT_EQ(isSaved(), c.is_saved);
    }
}

TEST_F(EmailLists, ManagementReplacesTheActiveCodecsListAsEdited) {
    fillRegistry();
    IPCObject* codec = ready[0];
    codec->alertEmails = {"one@x.org", "two@x.org", "three@x.org"};
    window->activeInstanceSelected(codec);
    test_support::on_next_modal([&](QDialog* dialog) {
        EXPECT_EQ(child<QLabel>(dialog, "deviceName")->text(), codec->unitName());
        auto* list = child<QListWidget>(dialog, "addressList");
        QStringList editable;
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->flags() & Qt::ItemIsEditable) editable << list->item(row)->text();
        }
        EXPECT_EQ(editable, QStringList(codec->alertEmails));
        list->setCurrentRow(1);
        QTimer::singleShot(0, list, [] {  // inside the menu's own loop
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_TRUE(menu && menu->actions().size() == 1);
            EXPECT_EQ(menu->actions()[0]->text(), "actionRemoveAddress");
            menu->actions()[0]->trigger();
            menu->close();
        });
        emit list->customContextMenuRequested(QPoint(4, 4));
        list->item(0)->setText(QString());  // as the in-place editor stores it
        type(dialog, "addressLine", "addressAddButton", QString());
        type(dialog, "addressLine", "addressAddButton", QStringLiteral("three@x.org"));
        press(dialog, QDialogButtonBox::Ok, "management.png");
    });
    window->manageEmailAddressesTriggered();
    EXPECT_EQ(codec->alertEmails, QStringList({"", "three@x.org", "three@x.org"}));
    EXPECT_TRUE(isSaved());

    // Without an active codec nothing opens and nothing is saved.
    DialogWatch dialogs;
    QFile::remove(folder.configFile());
    window->activeInstanceSelected(nullptr);
    window->manageEmailAddressesTriggered();
    EXPECT_EQ(dialogs.shown, 0);
    EXPECT_FALSE(isSaved());
}

}  // namespace
