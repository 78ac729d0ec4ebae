// The settings page on its own, over a READY session whose replies are set here: the editor page of
// each type, the advanced filter and "Default". Saving and the codec's answers: tests/app/dock.
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
#include <QWheelEvent>
#include <QtTest/QTest>

#include <array>
#include <memory>
#include <mutex>
#include <utility>

#include "dialogs/settings_edit.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/unplaced_session.h"

namespace {

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

// A READY codec without a tunnel, with one option of each type and an advanced one.
class SettingsSession : public test_support::UnplacedSession {
public:
    SettingsSession() : UnplacedSession(QUuid::createUuid().toString(), QUuid::createUuid()) {
        const char* const replies[][2] = {
            {"systemOpts",
             R"(<systemOpts><option name="gain" display_name="Gain" descr="Input gain." type="int" units="ms")"
             R"( min="0" max="100" default="20" group_name="Audio" subgroup="audio"/>)"
             R"(<option name="mute" display_name="Mute" type="bool" units="Mute" default="true" group_name="Audio")"
             R"( subgroup="audio"/><option name="label" display_name="Label" type="string" default="Codec")"
             R"( group_name="System"/><option name="zone" display_name="Zone" type="select" default="b")"
             R"( group_name="System"><select name="A" value="a"/><select name="B" value="b"/></option>)"
             R"(<option name="encoder" display_name="Encoder" type="codec" default="1" group_name="System"/>)"
             R"(<option name="debug" display_name="Debug" type="bool" advanced="true" group_name="Expert"/>)"
             R"(<option name="peer" display_name="Peer" type="peer" default="0" group_name="System"/>)"
             R"(</systemOpts>)"},
            {"sysOptions",
             R"(<sysOptions label="" zone="a" encoder="!follow" peer="0"><audio gain="40" mute="0"/></sysOptions>)"},
            {"channelList", R"(<channelList><channel id="1" descr="Program"/></channelList>)"},
            {"channelOpts", "<channelOpts/>"},
            {"directoryServer", "<directoryServer/>"},
            {"codecList", R"(<codecList><codec id="1" code="A" mode="Mono" name="Opus" descr="Speech" quality="80")"
                          R"( delay="20"/></codecList>)"},
        };
        for (const auto& [name, xml] : replies) cache_message(parsed(xml), QString::fromLatin1(name));
        setPeers({{"5", "Wrong Studio", "203.0.113.66:9000"}});
        set_version(0);
        set_state(READY);
    }

    // The codec's peers (id, name, address) as its last peer list gave them; the page is not told.
    void setPeers(std::initializer_list<std::array<const char*, 3>> peers) {
        std::lock_guard<SessionMutex> lock(mutex());
        allPeers.clear();
        for (const auto& [id, name, addr] : peers) {
            Message peer;
            peer.set_name("peer");
            for (const auto& [key, value] : {std::pair{"id", id}, {"name", name}, {"addr", addr}}) {
                peer.attributes().set(key, value);
            }
            allPeers.append(std::make_shared<const PeerMeta>(peer));
        }
    }
};

class SettingsEditTest : public ::testing::Test {
protected:
    SettingsEditTest() { page.setIPCObject(&session); }

    template <typename T>
    T* widget(const char* name) {
        return page.findChild<T*>(QString::fromLatin1(name));
    }
    QTreeWidgetItem* row(const QString& label) {
        return widget<QTreeWidget>("treeProfileItems")
            ->findItems(label, Qt::MatchExactly | Qt::MatchRecursive)
            .value(0);
    }
    QString text(const char* label) { return widget<QLabel>(label)->text(); }
    void select(const QString& label) { widget<QTreeWidget>("treeProfileItems")->setCurrentItem(row(label)); }

    SettingsSession session;
    SettingsEdit page;
};

// Each type's page shows the current and default value; filling it is no edit.
TEST_F(SettingsEditTest, ShowsOnePagePerType) {
    const struct {
        const char* label;
        const char* page;
        const char* current;
        const char* defaultValue;
    } cases[] = {
        {"Gain", "pageInt", "40 ms", "20 ms"},
        {"Mute", "pageBool", "Not Enabled", "Enabled"},
        {"Label", "pageString", "", "Codec"},
        {"Zone", "pageSelect", "A", "B"},
        {"Encoder", "pageCodec", "!follow", "A: Mono Opus"},
    };
    for (const auto& c : cases) {
        const int weight = row(c.label)->font(1).weight();
        select(c.label);
        EXPECT_EQ(widget<QStackedWidget>("stackEdit")->currentWidget()->objectName(), c.page) << c.label;
        EXPECT_EQ(text("labelCurrentValue"), c.current) << c.label;
        EXPECT_EQ(text("labelDefaultValue"), c.defaultValue) << c.label;
        EXPECT_TRUE(widget<QPushButton>("buttonDefault")->isEnabled()) << c.label;
        EXPECT_EQ(row(c.label)->font(1).weight(), weight) << c.label;
        EXPECT_FALSE(widget<QPushButton>("buttonSave")->isEnabled()) << c.label;
    }
    select("Gain");
    const QSpinBox* spin = widget<QSpinBox>("spinValue");
    EXPECT_EQ(spin->suffix() + "|" + QString::number(spin->minimum()) + "|" + QString::number(spin->maximum()) + "|" +
                  QString::number(spin->value()),
              " ms|0|100|40");
    EXPECT_EQ(text("labelMinimumValue") + "|" + text("labelMaximumValue") + "|" + text("labelDescription"),
              "0 ms|100 ms|Input gain.");
    select("Mute");
    EXPECT_EQ(widget<QCheckBox>("checkValue")->text(), "Mute");
    select("Zone");
    EXPECT_EQ(widget<QComboBox>("comboValue")->currentData().toString(), "a");
    select("Encoder");
    EXPECT_EQ(text("labelCodecDescription") + "|" + text("labelCodecQuality") + "|" + text("labelCodecDelay"),
              "Follow the local encoder settings.|(follow)|(follow)");
    select("System");  // a group row has no editor
    EXPECT_FALSE(widget<QWidget>("groupEdit")->isEnabled());
    EXPECT_EQ(text("labelDescription"), "Please select a setting to edit.");
}

TEST_F(SettingsEditTest, AdvancedRowsShowOnlyWhenAsked) {
    EXPECT_TRUE(row("Expert")->isHidden());
    widget<QCheckBox>("checkAdvanced")->setChecked(true);
    EXPECT_FALSE(row("Expert")->isHidden());
    EXPECT_FALSE(row("Debug")->isHidden());
    widget<QCheckBox>("checkAdvanced")->setChecked(false);
    EXPECT_TRUE(row("Expert")->isHidden());
}

// "Default" puts the default into the editor, which records it as an edit.
TEST_F(SettingsEditTest, DefaultIsAnEdit) {
    for (const auto& [label, shown] : {std::pair{"Mute", "Enabled"}, {"Gain", "20"}, {"Zone", "B"}}) {
        select(label);
        widget<QPushButton>("buttonDefault")->click();
        EXPECT_EQ(row(label)->text(1), shown) << label;
        EXPECT_EQ(row(label)->font(1).weight(), QFont::Bold) << label;
    }
    EXPECT_TRUE(widget<QPushButton>("buttonSave")->isEnabled());
    EXPECT_TRUE(widget<QCheckBox>("checkValue")->isChecked());
}

// A tunnel report brings the tunnel options' descriptions with their values: an option the codec
// adds shows, with its limits.
TEST_F(SettingsEditTest, ATunnelReportBringsItsOptions) {
    const auto report = [&](const std::string& options) {
        session.cache_message(parsed("<braidlinkSettings><node><group>" + options +
                                     "</group></node></braidlinkSettings>"),
                              QStringLiteral("braidlinkSettings"));
    };
    const std::string server = R"(<option name="server" display_name="Tunnel Server" type="string" value="t1"/>)";
    report(server);
    session.set_version(1);
    page.setIPCObject(nullptr);
    page.setIPCObject(&session);
    ASSERT_NE(row("Tunnel Server"), nullptr);
    EXPECT_EQ(row("Tunnel MTU"), nullptr);
    report(server + R"(<option name="mtu" display_name="Tunnel MTU" type="int" min="576" max="1500" value="1400"/>)");
    page.braidlinkUpdated(session.uuid);
    ASSERT_NE(row("Tunnel MTU"), nullptr);
    EXPECT_EQ(row("Tunnel MTU")->text(1), "1400");
    select("Tunnel MTU");
    EXPECT_EQ(widget<QSpinBox>("spinValue")->maximum(), 1500);
}

// A text longer than the line can hold (a hostile codec's unit name) is shown but cannot be edited,
// which would send it cut; the line says why.
TEST_F(SettingsEditTest, ATextTooLongToEditIsOnlyShown) {
    Message sysOptions = parsed(R"(<sysOptions zone="a" encoder="1"><audio gain="40" mute="0"/></sysOptions>)");
    sysOptions.attributes().set("label", QString(40000, QLatin1Char('n')));
    session.cache_message(sysOptions, QStringLiteral("sysOptions"));
    page.sysOptionsUpdated(session.uuid);
    select("Label");
    auto* line = widget<QLineEdit>("lineValue");
    QTest::keyClick(line, Qt::Key_Backspace);
    EXPECT_TRUE(line->text().isEmpty());
    EXPECT_EQ(line->placeholderText(), "Too long to edit here: 40000 characters, at most 32767.");
    EXPECT_TRUE(text("labelCurrentValue").startsWith("nnn"));
    EXPECT_FALSE(widget<QPushButton>("buttonSave")->isEnabled());
}

// A peer list refills the choices on screen; a pick is checked against the codec's peers again when
// Save uses it, and one whose id another peer took meanwhile is dropped with its line: nothing goes
// out under that id.
TEST_F(SettingsEditTest, PeerPicksAreHeldByWhomTheyName) {
    MessageBoxRecorder boxes;
    select("Peer");
    auto* combo = widget<QComboBox>("comboValue");
    session.setPeers({{"5", "Wrong Studio", "203.0.113.66:9000"}, {"6", "Lisbon Annex", "192.0.2.200:9000"}});
    emit session.recvPeerList(session.uuid);
    EXPECT_GE(combo->findText("Lisbon Annex (192.0.2.200)"), 0);
    combo->setCurrentIndex(combo->findText("Wrong Studio (203.0.113.66)"));
    session.setPeers({{"5", "Studio Z", "198.51.100.99:9000"}});  // its peer list not yet delivered
    widget<QPushButton>("buttonSave")->click();
    EXPECT_EQ(text("labelDroppedEdits"),
              "Peer: \"Wrong Studio (203.0.113.66)\" dropped, peer 5 is now \"Studio Z (198.51.100.99)\".");
    EXPECT_EQ(row("Peer")->text(1), "(No Peer)");
    // This session is on no manager: a request handed to it would have brought the "not connected" box.
    EXPECT_TRUE(boxes.boxes().empty());
}

}  // namespace

// A wheel turned over an option's field changes it only once the operator has clicked or tabbed
// into it; before that the wheel is the page's, to scroll.
TEST_F(SettingsEditTest, TheWheelChangesOnlyAFocusedField) {
    page.resize(800, 500);
    page.show();
    page.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    const struct {
        const char* label;
        const char* field;
        const char* shown;  // the field's property that shows its value
        int wheelSteps;     // towards a value the field can take
    } cases[] = {{"Gain", "spinValue", "text", -1}, {"Zone", "comboValue", "currentText", 1}};
    for (const auto& c : cases) {
        select(c.label);
        QWidget* field = widget<QWidget>(c.field);
        const QString before = field->property(c.shown).toString();
        const QString recorded = row(c.label)->text(1);  // shows an edit once recorded
        for (const bool isFocused : {false, true}) {
            SCOPED_TRACE(std::string(c.label) + (isFocused ? ", focused" : ", unfocused"));
            (isFocused ? field : widget<QWidget>("treeProfileItems"))->setFocus();
            const QPoint centre = field->rect().center();
            QWheelEvent wheel(centre, field->mapToGlobal(centre), {}, {0, 120 * c.wheelSteps}, Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(field, &wheel);
            EXPECT_EQ(field->property(c.shown).toString() != before, isFocused);
            EXPECT_EQ(field->hasFocus(), isFocused);
            EXPECT_EQ(row(c.label)->text(1) != recorded, isFocused);
        }
    }
}
