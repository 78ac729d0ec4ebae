// "Edit Profile..." against codec-sim: what Save sends, Cancel, data that belongs to one codec, the
// codec's refusal, and bad input.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <array>
#include <functional>

#include "app/dock/profile_list_panel.h"
#include "dialogs/profile_edit.h"
#include "tests/app/dock/dock_fixture.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/modal_dialog.h"

namespace {

using test_support::on_next_modal;
using test_support::wait_processing_events;

class ProfileEditorTest : public app_test::DockFixture {
protected:
    // Selects the profile `name` (not the unit's default) in the dock's list; returns the codec's
    // copy of it, as the session cached it.
    Message selectProfile(IPCObject& session, const char* name) {
        Message cached;
        QListWidgetItem* item = profileList()->findItems(name, Qt::MatchExactly).value(0);
        profileList()->setCurrentItem(item);
        EXPECT_TRUE(item && session.findProfile(item->data(kProfileIdRole).toString(), cached)) << name;
        return cached;
    }
    QStringList profileNames() {
        QStringList names;
        for (int i = 0; i < profileList()->count(); ++i)
            names << profileList()->item(i)->data(kProfileNameRole).toString();
        return names;
    }
    // Runs "Edit Profile..." with `act` done in the editor; whether the profile went out.
    bool editWith(std::function<void(ProfileEdit&)> act) {
        on_next_modal([act](QDialog* dialog) { act(*qobject_cast<ProfileEdit*>(dialog)); });
        return dock().editProfile();
    }

    template <typename T = QWidget>
    static T* part(ProfileEdit& editor, const char* name) {
        return editor.findChild<T*>(QString::fromLatin1(name));
    }
    // Selects the row `label` under `group`; false when there is none.
    static bool select(ProfileEdit& editor, const char* group, const char* label) {
        auto* tree = part<QTreeWidget>(editor, "treeProfileItems");
        for (QTreeWidgetItem* each : tree->findItems(label, Qt::MatchExactly | Qt::MatchRecursive)) {
            if (each->parent() && each->parent()->text(0) == group) return tree->setCurrentItem(each), true;
        }
        return false;
    }
    static int rowsUnder(ProfileEdit& editor, const char* group) {
        const auto tops = part<QTreeWidget>(editor, "treeProfileItems")->findItems(group, Qt::MatchExactly);
        return tops.isEmpty() ? -1 : tops[0]->childCount();
    }
    static void chooseData(QComboBox* box, const char* value) {
        box->setCurrentIndex(box->findData(QString::fromLatin1(value)));
    }
    static void rename(ProfileEdit& editor, const QString& name) {
        ASSERT_TRUE(select(editor, "Global Settings", "Profile Name"));
        part<QLineEdit>(editor, "lineValue")->setText(name);
    }
    static void press(ProfileEdit& editor, const char* button) { part<QPushButton>(editor, button)->click(); }
    static std::string nameIn(ProfileEdit& editor) {
        return editor.profile().get_child("settings", 0).attributes().get_string("name", "");
    }

    // What "setProfile" must carry: the cached profile with `edits` (side, name, value) laid over it.
    static Message expectedRequest(Message profile, std::initializer_list<std::array<const char*, 3>> edits) {
        profile.set_name("setProfile");
        profile.attributes().set("seq", "setProfile");
        for (const auto& [side, name, value] : edits) profile.get_child(side, 0).attributes().set(name, value);
        return profile;
    }
};

// Save sends one "setProfile" with the edited values and everything else as the codec gave it, and
// the list shows the new name; Cancel sends nothing.
TEST_F(ProfileEditorTest, SaveSendsTheEditsAndCancelNothing) {
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    const Message cached = selectProfile(*session, "Voice Mono");  // on "Program", with remote settings
    QAction* action = child<QAction>("actionEditProfile");
    ASSERT_TRUE(action->isEnabled());

    on_next_modal([](QDialog* dialog) {
        auto& editor = *qobject_cast<ProfileEdit*>(dialog);
        rename(editor, "Voice Live");
        ASSERT_TRUE(select(editor, "Local Settings", "Frames per Packet"));
        part<QSpinBox>(editor, "spinValue")->setValue(4);
        ASSERT_TRUE(select(editor, "Remote Settings", "Encoder"));
        chooseData(part<QComboBox>(editor, "comboCodec"), "!follow");
        ASSERT_TRUE(select(editor, "Local Settings", "Delay Mode"));
        chooseData(part<QComboBox>(editor, "comboValue"), "fixed");
        press(editor, "buttonSave");
    });
    action->trigger();
    const Message sent = waitForFrames("setProfile", 1)[0].message;
    EXPECT_EQ(sent, expectedRequest(cached, {{{"settings", "name", "Voice Live"}},
                                             {{"local", "frames", "4"}},
                                             {{"remote", "encoder", "!follow"}},
                                             {{"local", "delay_mode", "fixed"}}}));
    EXPECT_TRUE(wait_processing_events([&] { return profileNames().contains("Voice Live"); }));

    selectProfile(*session, "Voice Live");
    EXPECT_FALSE(editWith([](ProfileEdit& editor) {
        rename(editor, "Voice Dead");
        press(editor, "buttonCancel");
    }));
    syncWith(*session);
    EXPECT_EQ(recorded("setProfile").size(), 1u);
}

// After an edit on codec A, codec B, which never sent its channel options, shows none of A's and
// sends none of them back.
TEST_F(ProfileEditorTest, DataBelongsToOneCodec) {
    const uint16_t portA = startFleet(1).ports()[0];
    CodecSimOptions refusing;
    refusing.refused_requests = {"getChannelOpts"};
    const uint16_t portB = startFleet(refusing).ports()[0];
    selectProfile(*selectReadyCodec(portA), "Voice Mono");
    EXPECT_FALSE(editWith([](ProfileEdit& editor) {
        EXPECT_GT(rowsUnder(editor, "Local Settings"), 0);
        press(editor, "buttonCancel");
    }));

    const Message cached = selectProfile(*selectReadyCodec(portB), "Voice Mono");
    EXPECT_TRUE(editWith([](ProfileEdit& editor) {
        EXPECT_EQ(rowsUnder(editor, "Local Settings"), 0);
        EXPECT_EQ(rowsUnder(editor, "Remote Settings"), 0);
        rename(editor, "B Voice");
        press(editor, "buttonSave");
    }));
    EXPECT_EQ(waitForFrames("setProfile", 1, 1)[0].message,
              expectedRequest(cached, {{{"settings", "name", "B Voice"}}}));
}

// A refused "setProfile" is shown with the codec's words; the list keeps what the codec holds.
TEST_F(ProfileEditorTest, RefusalIsShown) {
    MessageBox::setHandler({});  // the notice opens for real: it is not modal, nothing waits on it
    CodecSimOptions refusing;
    refusing.refused_requests = {"setProfile"};
    IPCObject* session = selectReadyCodec(startFleet(refusing).ports()[0]);
    const QStringList before = profileNames();
    selectProfile(*session, "Voice Mono");
    EXPECT_TRUE(editWith([](ProfileEdit& editor) {
        rename(editor, "Voice Live");
        press(editor, "buttonSave");
    }));
    const auto notice = [this] {
        QMessageBox* box = window->findChild<QMessageBox*>();
        return box && box->isVisible() ? box->text() : QString();
    };
    EXPECT_TRUE(wait_processing_events([&] {
        return notice().contains("refused to save the profile \"Voice Mono\": Refused by codec-sim");
    })) << notice().toStdString();
    EXPECT_EQ(profileNames(), before);
}

// What Save cannot send gives its box and keeps the editor, with the edits, open (or opens it
// again); nothing is sent. A number refused stays in its field, behind the box that names it.
TEST_F(ProfileEditorTest, BadInputSendsNothing) {
    MessageBoxRecorder boxes;
    boxes.takeFocusWhileShowing();
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    const auto stopCodec = [&] {
        fleets.front().reset();
        ASSERT_TRUE(wait_processing_events([&] { return session->state() != IQEndpointClient::READY; }));
    };
    const auto save = [](ProfileEdit& e) { press(e, "buttonSave"); };
    const struct {
        const char* what;
        std::function<void(ProfileEdit&)> act;  // ends with what fails
        const char* name;                       // the editor's name afterwards
        const char* box;                        // how the box's text starts
    } cases[] = {
        {"a blank name", [&](ProfileEdit& e) { rename(e, "  "), save(e); }, "  ",
         "\"Profile Name\" must not be blank."},
        {"a control character", [&](ProfileEdit& e) { rename(e, "Voice\t2"), save(e); }, "Voice\t2",
         "\"Profile Name\" must be text without control characters."},
        {"a spin text under the minimum, then Enter",
         [](ProfileEdit& e) {
             rename(e, "Voice 2");
             ASSERT_TRUE(select(e, "Local Settings", "Frames per Packet"));
             auto* spin = part<QSpinBox>(e, "spinValue");
             spin->selectAll();
             QTest::keyClick(spin, Qt::Key_Backspace);
             QTest::keyClick(spin, Qt::Key_Return);
             EXPECT_EQ(spin->cleanText(), "");
         },
         "Voice 2",
         "Local Settings: \"Frames per Packet\" must be a whole number from 1 to 8 frames. Nothing was sent"},
        // Taken as typed, not cut to 5; nor is the 5 on the way written into the profile.
        {"a spin text above the maximum, Save clicked",
         [](ProfileEdit& e) {
             rename(e, "Voice 2");
             ASSERT_TRUE(select(e, "Local Settings", "Frames per Packet"));
             auto* spin = part<QSpinBox>(e, "spinValue");
             QApplication::setActiveWindow(&e);
             spin->setFocus();
             spin->selectAll();
             QTest::keyClicks(spin, "50");
             EXPECT_EQ(spin->cleanText(), "50");
             QTest::mouseClick(part(e, "buttonSave"), Qt::LeftButton);
             EXPECT_EQ(e.profile().get_child("local", 0).attributes().get_string("frames", ""), "1");
             EXPECT_EQ(spin->cleanText(), "50");
         },
         "Voice 2",
         "Local Settings: \"Frames per Packet\" 50 frames is above the maximum of 8 frames. Nothing was sent for it."},
        {"the codec stopped before Save",
         [&](ProfileEdit& e) {
             rename(e, "Voice 3");
             stopCodec();
             on_next_modal([](QDialog* again) {
                 EXPECT_EQ(nameIn(*qobject_cast<ProfileEdit*>(again)), "Voice 3");
                 press(*qobject_cast<ProfileEdit*>(again), "buttonCancel");
             });
             save(e);
         },
         nullptr, "The profile was not saved"},
    };
    selectProfile(*session, "Voice Mono");
    for (const auto& c : cases) {
        const size_t before = boxes.boxes().size();
        EXPECT_FALSE(editWith([&](ProfileEdit& editor) {
            c.act(editor);
            if (!c.name) return;  // opened again, and closed there
            EXPECT_TRUE(editor.isVisible()) << c.what;
            EXPECT_EQ(nameIn(editor), c.name) << c.what;
            press(editor, "buttonCancel");
        })) << c.what;
        ASSERT_EQ(boxes.boxes().size(), before + 1) << c.what;
        EXPECT_EQ(boxes.boxes().back().title, "Profile Editor") << c.what;
        EXPECT_TRUE(boxes.boxes().back().text.startsWith(c.box)) << boxes.boxes().back().text.toStdString();
    }
    EXPECT_TRUE(recorded("setProfile").empty());
}

// A refused number typed over with the value the box held (so no valueChanged) is forgotten: Save
// sends, and names nothing.
TEST_F(ProfileEditorTest, ANumberTypedBackOverARefusedOneIsSaved) {
    MessageBoxRecorder boxes;
    selectProfile(*selectReadyCodec(startFleet(1).ports()[0]), "Voice Mono");
    EXPECT_TRUE(editWith([](ProfileEdit& e) {
        rename(e, "Voice 2");
        ASSERT_TRUE(select(e, "Local Settings", "Frames per Packet"));
        auto* spin = part<QSpinBox>(e, "spinValue");
        QApplication::setActiveWindow(&e);
        spin->setFocus();
        const QString held = spin->cleanText();
        spin->selectAll();
        QTest::keyClicks(spin, "50");
        part(e, "treeProfileItems")->setFocus();  // noted as refused; the box puts `held` back
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, held);
        QTest::mouseClick(part(e, "buttonSave"), Qt::LeftButton);
        if (e.isVisible()) press(e, "buttonCancel");  // Save refused it after all
    }));
    EXPECT_TRUE(boxes.boxes().empty());
}

// Save finds the profile's id naming another profile by now: a box says so, the editor opens again
// with the edits, and nothing goes to the codec.
TEST_F(ProfileEditorTest, SaveSendsNothingWhenTheIdNamesAnotherProfile) {
    MessageBoxRecorder boxes;
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    Message other = selectProfile(*session, "Voice Mono");
    const QString id = QString::fromStdString(other.attributes().get_string("id", ""));
    other.get_child("settings", 0).attributes().set("name", "Other");
    EXPECT_FALSE(editWith([&](ProfileEdit& editor) {
        rename(editor, "Voice Live");
        session->cmd_set_profile(other);
        ASSERT_TRUE(wait_processing_events([&] {
            Message now;
            return session->findProfile(id, now) &&
                   now.get_child("settings", 0).attributes().get_string("name", "") == "Other";
        }));
        on_next_modal([](QDialog* again) {
            EXPECT_EQ(nameIn(*qobject_cast<ProfileEdit*>(again)), "Voice Live");
            press(*qobject_cast<ProfileEdit*>(again), "buttonCancel");
        });
        press(editor, "buttonSave");
    }));
    EXPECT_TRUE(boxes.lastText("Profile Editor").startsWith("The profile was not saved: the codec no longer has"))
        << boxes.lastText("Profile Editor").toStdString();
    syncWith(*session);
    EXPECT_EQ(recorded("setProfile").size(), 1u);
}

}  // namespace
