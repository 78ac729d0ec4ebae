// The profile editor on messages made here, without a session: the page of each type, the groups,
// the advanced filter, typing and the channel choice. Saving and the codec's answers: tests/app/dock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <climits>

#include "dialogs/profile_edit.h"
#include "tests/support/deadline_factor.h"

namespace {

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

// Channel 1 carries remote settings, channel 2 (advanced) does not.
const char kChannelList[] = R"(<channelList><channel id="1" descr="Program"/>)"
                            R"(<channel id="2" descr="Talkback" advanced="true" remote_opts="false"/></channelList>)";
const char kChannelOpts[] =
    R"(<channelOpts><option name="frames" display_name="Frames" descr="Per packet." type="int" units="fr")"
    R"( min="1" max="8" default="2" channel="1" profile_opt="true"/>)"
    R"(<option name="span" display_name="Span" type="int" default="0" channel="1" profile_opt="true"/>)"
    R"(<option name="fec" display_name="FEC" type="bool" label_true="On" label_false="Off" default="false")"
    R"( channel="1" profile_opt="true"/>)"
    R"(<option name="note" display_name="Note" type="string" default="hello" channel="1" profile_opt="true"/>)"
    R"(<option name="mode" display_name="Mode" type="select" default="auto" channel="1" profile_opt="true">)"
    R"(<select name="Auto" value="auto"/><select name="Fixed" value="fixed"/></option>)"
    R"(<option name="encoder" display_name="Encoder" type="codec" default="1" channel="1" profile_opt="true"/>)"
    R"(<option name="shown" display_name="Shown" type="visible" channel="1" profile_opt="true"/>)"
    R"(<option name="ttl" display_name="TTL" type="int" advanced="true" channel="1" profile_opt="true"/>)"
    R"(<option name="port" display_name="Port" type="int" channel="1"/>)"
    R"(<option name="gain" display_name="Gain" type="int" channel="2" profile_opt="true"/></channelOpts>)";
const char kCodecList[] =
    R"(<codecList><codec id="1" code="A" mode="Mono" name="Opus" descr="Speech" quality="80" delay="20"/>)"
    R"(<codec id="2" code="B" mode="Stereo" name="AAC" descr="Music" quality="90" delay="40"/></codecList>)";
// No "remote" child: the first remote edit adds it.
const char kProfile[] = R"(<profile id="5"><settings name="Studio" channel="1"/>)"
                        R"(<local frames="4" fec="true" encoder="2" mode="fixed" shown="true"/></profile>)";

class ProfileEditTest : public ::testing::Test {
protected:
    ProfileEditTest() {
        editor.startEdit(parsed(kProfile),
                         ProfileCodecData(parsed(kChannelList), parsed(kChannelOpts), parsed(kCodecList)));
    }

    template <typename T = QWidget>
    T* widget(const char* name) {
        return editor.findChild<T*>(QString::fromLatin1(name));
    }
    QTreeWidget* tree() { return widget<QTreeWidget>("treeProfileItems"); }
    // The row `label` under the group `group`; null when there is none.
    QTreeWidgetItem* row(const char* group, const char* label) {
        for (QTreeWidgetItem* each : tree()->findItems(label, Qt::MatchExactly | Qt::MatchRecursive)) {
            if (each->parent() && each->parent()->text(0) == group) return each;
        }
        return nullptr;
    }
    QString page() { return widget<QStackedWidget>("stackEdit")->currentWidget()->objectName(); }
    QString text(const char* label) {
        const auto* shown = widget<QLabel>(label);
        return shown->isVisibleTo(&editor) ? shown->text() : QStringLiteral("(hidden)");
    }
    // The editor widget of the page shown, in a line: a spin box's range and suffix, a check box's
    // text and state, a line's text, a combo box's entries with the current one starred.
    QString editorState() {
        const auto entries = [](QComboBox* box) {
            QStringList items;
            for (int i = 0; i < box->count(); ++i) items << (i == box->currentIndex() ? "*" : "") + box->itemText(i);
            return items.join(',');
        };
        const QString shown = page();
        if (shown == "pageInt") {
            const auto* spin = widget<QSpinBox>("spinValue");
            return QStringLiteral("%1..%2%3 =%4")
                .arg(spin->minimum())
                .arg(spin->maximum())
                .arg(spin->suffix())
                .arg(spin->value());
        }
        const auto* check = widget<QCheckBox>("checkValue");
        if (shown == "pageBool") return check->text() + (check->isChecked() ? "+" : "-");
        if (shown == "pageString") return widget<QLineEdit>("lineValue")->text();
        if (shown == "pageSelect") return entries(widget<QComboBox>("comboValue"));
        return entries(widget<QComboBox>("comboCodec")) + " " + widget<QLabel>("labelCodecDescription")->text();
    }
    std::string stored(const char* side, const char* name) {
        const Message& profile = editor.profile();
        if (!profile.child_count(side)) return "(no " + std::string(side) + ")";
        return profile.get_child(side, 0).attributes().get_string(name, "(none)");
    }

    ProfileEdit editor;
};

// Each type's page, with its value, its default and its editor; showing a setting writes nothing.
TEST_F(ProfileEditTest, ShowsOnePagePerType) {
    const std::string intRange = QStringLiteral("%1..%2").arg(INT_MIN).arg(INT_MAX).toStdString();
    const struct {
        const char* group;
        const char* label;
        const char* column;  // the row's value
        const char* page;
        const char* current;
        const char* defaultValue;  // "(hidden)" for the global rows
        std::string editor;
    } cases[] = {
        {"Local Settings", "Frames", "4", "pageInt", "4 fr", "2 fr", "1..8 fr =4"},
        {"Local Settings", "Span", "0", "pageInt", "0 ", "0 ", intRange + " =0"},  // no limits: any int
        {"Local Settings", "FEC", "On", "pageBool", "On", "Off", "Enabled+"},
        {"Remote Settings", "FEC", "Off", "pageBool", "Off", "Off", "Enabled-"},
        {"Local Settings", "Note", "hello", "pageString", "", "hello", ""},
        {"Local Settings", "Mode", "Fixed", "pageSelect", "Fixed", "Auto", "Auto,*Fixed"},
        {"Local Settings", "Encoder", "B: Stereo AAC", "pageCodec", "B: Stereo AAC", "A: Mono Opus",
         "A: Mono Opus,*B: Stereo AAC Music"},
        {"Remote Settings", "Encoder", "A: Mono Opus", "pageCodec", "A: Mono Opus", "A: Mono Opus",
         "Follow local encoder,*A: Mono Opus,B: Stereo AAC Speech"},
        {"Local Settings", "Shown", "true", "pageBool", "Yes", "", "Visible+"},
        {"Global Settings", "Profile Name", "Studio", "pageString", "Studio", "(hidden)", "Studio"},
        {"Global Settings", "Channel", "Program", "pageSelect", "Program", "(hidden)",
         "*Program,Talkback (advanced feature)"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(row(c.group, c.label), nullptr) << c.group << " " << c.label;
        tree()->setCurrentItem(row(c.group, c.label));
        const std::string what = std::string(c.group) + " " + c.label;
        EXPECT_EQ(row(c.group, c.label)->text(1), c.column) << what;
        EXPECT_EQ(page(), c.page) << what;
        EXPECT_EQ(text("labelCurrentValue"), c.current) << what;
        EXPECT_EQ(text("labelDefaultValue"), c.defaultValue) << what;
        EXPECT_EQ(editorState().toStdString(), c.editor) << what;
    }
    EXPECT_EQ(stored("local", "span") + stored("remote", "fec"), "(none)(no remote)");
    tree()->setCurrentItem(tree()->topLevelItem(1));  // a group row has no editor
    EXPECT_FALSE(widget("groupEdit")->isEnabled());
    EXPECT_EQ(text("labelDescription"), "Please select a profile setting to edit.");
}

// A change is written at once, on its side only, and the same row stays selected; a remote edit
// adds the "remote" child. "Default" writes the default and then has nothing left to do; "Clear
// Text" writes an empty text.
TEST_F(ProfileEditTest, EditsAreWrittenAtOnce) {
    tree()->setCurrentItem(row("Remote Settings", "Frames"));
    widget<QSpinBox>("spinValue")->setValue(7);
    EXPECT_EQ(stored("remote", "frames") + stored("local", "frames"), "74");
    EXPECT_EQ(tree()->currentItem(), row("Remote Settings", "Frames"));
    EXPECT_EQ(editor.profile().get_child("remote", 0).attributes().keys(), std::vector<std::string>{"frames"});
    tree()->setCurrentItem(row("Local Settings", "Mode"));
    widget<QPushButton>("buttonDefault")->click();
    EXPECT_EQ(stored("local", "mode"), "auto");
    EXPECT_FALSE(widget("buttonDefault")->isEnabled());
    tree()->setCurrentItem(row("Remote Settings", "Encoder"));
    widget<QComboBox>("comboCodec")->setCurrentIndex(2);
    EXPECT_EQ(stored("remote", "encoder"), "2");
    EXPECT_EQ(text("labelCodecQuality") + text("labelCodecDelay"), "90%40ms");
    tree()->setCurrentItem(row("Local Settings", "Note"));
    widget<QLineEdit>("lineValue")->setText("abc");
    widget<QPushButton>("buttonStringClear")->click();
    EXPECT_EQ(stored("local", "note"), "");
}

// Only channels with remote settings get a remote group; choosing another channel lists its
// options and selects "Profile Name".
TEST_F(ProfileEditTest, ChannelChoiceRelistsTheOptions) {
    ASSERT_NE(row("Remote Settings", "Frames"), nullptr);
    tree()->setCurrentItem(row("Global Settings", "Channel"));
    widget<QComboBox>("comboValue")->setCurrentIndex(1);
    EXPECT_EQ(stored("settings", "channel"), "2");
    EXPECT_TRUE(tree()->findItems("Remote Settings", Qt::MatchExactly).isEmpty());
    EXPECT_EQ(row("Local Settings", "Frames"), nullptr);
    ASSERT_NE(row("Local Settings", "Gain"), nullptr);
    EXPECT_EQ(tree()->currentItem(), row("Global Settings", "Profile Name"));
    EXPECT_EQ(row("Global Settings", "Channel")->text(1), "Talkback");
}

// The advanced switch rebuilds the tree at once and keeps the selected row while it is shown.
TEST_F(ProfileEditTest, AdvancedSwitchKeepsTheSelectedRow) {
    auto* advanced = widget<QCheckBox>("checkAdvanced");
    EXPECT_EQ(row("Local Settings", "TTL"), nullptr);
    advanced->setChecked(true);
    tree()->setCurrentItem(row("Remote Settings", "TTL"));
    advanced->setChecked(false);
    EXPECT_EQ(tree()->currentItem(), row("Global Settings", "Profile Name"));
    tree()->setCurrentItem(row("Remote Settings", "Note"));
    advanced->setChecked(true);
    EXPECT_EQ(tree()->currentItem(), row("Remote Settings", "Note"));
    EXPECT_NE(row("Local Settings", "TTL"), nullptr);
}

// At the keyboard: Tab reaches the options, and an arrow key then chooses one as a click does.
TEST_F(ProfileEditTest, TabReachesTheOptionsAndArrowsChooseOne) {
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor, test_support::give_up_after_ms(std::chrono::seconds(5))));
    widget("checkAdvanced")->setFocus();
    for (int step = 0; step < 10 && QApplication::focusWidget() != tree(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    ASSERT_EQ(QApplication::focusWidget(), tree());
    tree()->setCurrentItem(row("Remote Settings", "Span"));
    QTest::keyClick(tree(), Qt::Key_Down);
    EXPECT_EQ(tree()->currentItem(), row("Remote Settings", "FEC"));
    EXPECT_EQ(editorState(), "Enabled-");
}

// Each keystroke in the name is written and shown in the tree; the cursor stays where it was.
TEST_F(ProfileEditTest, TypingTheNameKeepsTheCursor) {
    tree()->setCurrentItem(row("Global Settings", "Profile Name"));
    auto* line = widget<QLineEdit>("lineValue");
    line->setCursorPosition(2);
    QTest::keyClicks(line, "xy");
    EXPECT_EQ(line->text(), "Stxyudio");
    EXPECT_EQ(line->cursorPosition(), 4);
    EXPECT_EQ(stored("settings", "name"), "Stxyudio");
    EXPECT_EQ(row("Global Settings", "Profile Name")->text(1), "Stxyudio");
    EXPECT_EQ(tree()->currentItem(), row("Global Settings", "Profile Name"));
}

}  // namespace
