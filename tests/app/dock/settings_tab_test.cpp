// The dock's Settings tab against codec-sim: what Save sends and in which order, what the tree shows
// after the codec's reports, copies that belong to one codec, bad input, refusals and malformed
// replies.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <functional>
#include <mutex>

#include "dialogs/message_box.h"
#include "dialogs/settings_edit.h"
#include "sessions/session_requests.h"
#include "tests/app/dock/dock_fixture.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/wait_until.h"

namespace {

using app_test::RecordedFrame;
using test_support::wait_processing_events;

// Where `sent` differs from `reported`, "seq" aside: "key" for an attribute, "child[name].key" below,
// a child paired with the first of the same element and "name".
QStringList differences(const Message& sent, const Message& reported, const QString& prefix = {}) {
    QStringList found;
    for (const std::string& key : sent.attributes().keys()) {
        if (key != "seq" && sent.attributes().get_string(key, "") != reported.attributes().get_string(key, "\x01")) {
            found << prefix + QString::fromStdString(key);
        }
    }
    for (int row = 0; row < sent.size(); ++row) {
        const Message& child = sent.get_child(row);
        const QString name = child.attributes().get_qstring("name", QString());
        const QString label = QString::fromStdString(child.name()) + (name.isEmpty() ? "" : "[" + name + "]") + ".";
        const Message* match = nullptr;
        for (int other = 0; other < reported.size() && !match; ++other) {
            const Message& candidate = reported.get_child(other);
            if (candidate.name() == child.name() && candidate.attributes().get_qstring("name", QString()) == name) {
                match = &candidate;
            }
        }
        found << (match ? differences(child, *match, prefix + label) : QStringList{prefix + label});
    }
    return found;
}

class SettingsTabTest : public app_test::DockFixture {
protected:
    template <typename T = QWidget>
    T* pageWidget(const char* name) {
        return child<SettingsEdit>("settingWidget")->findChild<T*>(QString::fromLatin1(name));
    }
    QTreeWidgetItem* settingRow(const QString& label) {
        return pageWidget<QTreeWidget>("treeProfileItems")
            ->findItems(label, Qt::MatchExactly | Qt::MatchRecursive)
            .value(0);
    }
    QString shown(const QString& label) {
        QTreeWidgetItem* row = settingRow(label);
        return row ? row->text(1) : QStringLiteral("(no row)");
    }
    // Selects the row and puts `value` into its editor, as the operator would.
    void edit(const QString& label, const QString& value) {
        ASSERT_NE(settingRow(label), nullptr) << label.toStdString();
        pageWidget<QTreeWidget>("treeProfileItems")->setCurrentItem(settingRow(label));
        const QString page = pageWidget<QStackedWidget>("stackEdit")->currentWidget()->objectName();
        if (page == "pageInt") pageWidget<QSpinBox>("spinValue")->setValue(value.toInt());
        if (page == "pageString") pageWidget<QLineEdit>("lineValue")->setText(value);
        ASSERT_EQ(settingRow(label)->text(1), value) << label.toStdString();
    }
    void press(const char* button) { pageWidget<QPushButton>(button)->click(); }
    // The window shown and active on the Settings tab, with Save in view, as the operator has it.
    void showSettingsTab() {
        window->show();
        QApplication::setActiveWindow(window.get());
        child<QTabWidget>("statusTabWidget")->setCurrentWidget(child<QWidget>("settingsTab"));
        child<QScrollArea>("settingsScrollArea")->ensureWidgetVisible(pageWidget("buttonSave"));
    }
    // Clicks the option's row and types `keys` over its editor's text (a choice: the start of its
    // text); the editor keeps the focus.
    void typeInto(const QString& label, const char* keys) {
        clickRow(label);
        const QString page = pageWidget<QStackedWidget>("stackEdit")->currentWidget()->objectName();
        QWidget* editor = page == "pageInt"      ? pageWidget("spinValue")
                          : page == "pageString" ? pageWidget("lineValue")
                                                 : pageWidget("comboValue");
        editor->setFocus();
        if (auto* spin = qobject_cast<QSpinBox*>(editor)) spin->selectAll();
        if (auto* line = qobject_cast<QLineEdit*>(editor)) line->selectAll();
        QTest::keyClicks(editor, keys);
        ASSERT_TRUE(editor->hasFocus());
    }

    // Clicks the row `label` with the mouse, its group opened and the row scrolled into view.
    void clickRow(const QString& label) {
        auto* tree = pageWidget<QTreeWidget>("treeProfileItems");
        QTreeWidgetItem* row = settingRow(label);
        ASSERT_NE(row, nullptr) << label.toStdString();
        row->parent()->setExpanded(true);
        tree->scrollToItem(row);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(row).center());
        ASSERT_EQ(tree->currentItem(), row) << label.toStdString();
    }
    // Clicks the button with the mouse, scrolled into view first: the tree's rows move it.
    void click(const char* button) {
        child<QScrollArea>("settingsScrollArea")->ensureWidgetVisible(pageWidget(button));
        QTest::mouseClick(pageWidget(button), Qt::LeftButton);
    }
    QString spinText() { return pageWidget<QSpinBox>("spinValue")->cleanText(); }
    // Cuts the codec's connection and waits until the session has seen it.
    static void drop(IPCObject& session) {
        session.disconnectIPC();
        ASSERT_TRUE(test_support::wait_until([&] { return session.state() != IQEndpointClient::READY; }));
    }

    Message cached(IPCObject& session, const char* name) {
        Message reply;
        EXPECT_TRUE(session.getCachedMessage(QString::fromLatin1(name), reply)) << name;
        return reply;
    }
};

// One edit of each family goes out as one request each, in the order the codec applies them, with
// only the edited value changed; the codec's reports bring the new values into the tree. A channel
// edit discarded before the next Save is not sent.
TEST_F(SettingsTabTest, SavesEachEditedPartInOrder) {
    MessageBoxRecorder boxes;
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    const Message sysOptions = cached(*session, "sysOptions");
    const Message directory = cached(*session, "directoryServer");
    const Message channel = cached(*session, "channelList").get_child("channel", 0);
    const Message tunnel = cached(*session, "braidlinkSettings").get_child("node", 0).get_child("group", 0);
    edit("Input Gain", "5");
    edit("Server", "dir2.example.net");
    edit("UDP Port", "9100");
    edit("Tunnel Server", "t2.example.net");
    press("buttonSave");

    const RecordedFrame ds = waitForFrames("setDirectoryServer", 1)[0];
    const RecordedFrame sys = waitForFrames("setSysOptions", 1)[0];
    const RecordedFrame cfg = waitForFrames("cfgSetOption", 1)[0];
    const RecordedFrame chan = waitForFrames("setChannelSettings", 1)[0];
    EXPECT_TRUE(ds.line < sys.line && sys.line < cfg.line && cfg.line < chan.line);
    EXPECT_EQ(differences(ds.message, directory), QStringList{"server"});
    EXPECT_EQ(differences(sys.message, sysOptions), QStringList{"audio.input_gain"});
    EXPECT_EQ(differences(cfg.message, tunnel), QStringList({"path", "option[server].value"}));
    EXPECT_EQ(cfg.message.attributes().get_string("seq", "") + " " + cfg.message.attributes().get_string("path", ""),
              "setBraidlinkOptions netmgr.tunnel");
    EXPECT_EQ(differences(chan.message.get_child("channel", 0), channel), QStringList{"port"});
    EXPECT_EQ(chan.message.attributes().get_string("id", ""), "1");
    // Answered, a reload from the codec's reports disables Save and shows what the codec holds.
    EXPECT_TRUE(wait_processing_events([&] {
        const auto* save = pageWidget<QPushButton>("buttonSave");
        return !save->isEnabled() && save->text() == "Save Changes" && shown("Input Gain") == "5" &&
               shown("Server") == "dir2.example.net" && shown("UDP Port") == "9100" &&
               shown("Tunnel Server") == "t2.example.net";
    }));

    const Message saved = cached(*session, "sysOptions");
    edit("UDP Port", "9200");
    press("buttonReset");
    EXPECT_EQ(shown("UDP Port"), "9100");
    edit("Contact", "Desk 2");
    showSettingsTab();
    typeInto("UDP Port", "9300");  // still typed when Save, which takes no focus, is pressed
    press("buttonSave");
    const RecordedFrame second = waitForFrames("setSysOptions", 2)[1];
    const RecordedFrame typedPort = waitForFrames("setChannelSettings", 2)[1];
    syncWith(*session);
    EXPECT_EQ(differences(second.message, saved), QStringList{"contact"});
    EXPECT_EQ(typedPort.message.get_child("channel", 0).attributes().get_string("port", ""), "9300");
    EXPECT_EQ(recorded("setChannelSettings").size() + recorded("setDirectoryServer").size() +
                  recorded("cfgSetOption").size(),
              4u);
    EXPECT_TRUE(boxes.boxes().empty());
}

// A save the codec has not answered yet is shown pending, and clicks on Save send nothing more.
TEST_F(SettingsTabTest, ASaveAwaitingItsAnswerIsPendingAndNotSentAgain) {
    CodecSimOptions options;
    options.count = 1;
    options.swapped_answers = {"setSysOptions"};  // the first answer waits for a second request
    IPCObject* session = selectReadyCodec(startFleet(options).ports()[0]);
    showSettingsTab();
    edit("Input Gain", "5");
    for (int clicks = 0; clicks < 3; ++clicks) click("buttonSave");
    syncWith(*session);
    EXPECT_EQ(recorded("setSysOptions").size(), 1u);
    EXPECT_EQ(pageWidget<QPushButton>("buttonSave")->text(), "Saving…");
    session->cmd_set_unit_name("Desk");  // its answer lets the first one go
    EXPECT_TRUE(
        wait_processing_events([&] { return pageWidget<QPushButton>("buttonSave")->text() == "Save Changes"; }));
}

// Save and Discard rebuild the tree from the codec's values and leave each group open or closed as
// the operator left it: the page opens with every group closed, and the operator opened one.
TEST_F(SettingsTabTest, SaveAndDiscardKeepTheGroupsAsLeft) {
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    // The session's news of READY, which refills the page closed, comes before the answer asked now.
    QSignalSpy answered(session, &IPCObject::recvCodecList);
    session->cmd_get_codec_list();
    ASSERT_TRUE(wait_processing_events([&] { return !answered.isEmpty(); }));
    auto* tree = pageWidget<QTreeWidget>("treeProfileItems");
    const auto openGroups = [tree] {
        QStringList open;
        for (int group = 0; group < tree->topLevelItemCount(); ++group) {
            if (tree->topLevelItem(group)->isExpanded()) open << tree->topLevelItem(group)->text(0);
        }
        return open.join('|').toStdString();
    };
    ASSERT_GT(tree->topLevelItemCount(), 1);
    EXPECT_EQ(openGroups(), "");
    settingRow("Input Gain")->parent()->setExpanded(true);
    const std::string opened = openGroups();
    ASSERT_NE(opened, "");
    for (const char* button : {"buttonReset", "buttonSave"}) {
        SCOPED_TRACE(button);
        edit("Input Gain", button == std::string("buttonSave") ? "4" : "3");
        press(button);
        // Save rebuilds once the codec's report of the new value has come.
        ASSERT_TRUE(wait_processing_events([&] { return !pageWidget("buttonSave")->isEnabled(); }));
        EXPECT_EQ(openGroups(), opened);
    }
    EXPECT_EQ(shown("Input Gain"), "4");
}

// Attaching codec B after codec A leaves nothing of A's in the page, even when B never reports its
// system options: neither in the tree nor in what is sent to B.
TEST_F(SettingsTabTest, CopiesBelongToOneCodec) {
    CodecSim& fleetA = startFleet(2);
    CodecSimOptions refusing;
    refusing.refused_requests = {"getSysOptions"};
    CodecSim& fleetB = startFleet(refusing);
    selectReadyCodec(fleetA.ports()[1]);
    ASSERT_EQ(shown("Input Gain"), "-1");
    ASSERT_FALSE(shown("Unit Name").isEmpty());
    selectReadyCodec(fleetB.ports()[0]);
    EXPECT_EQ(settingRow("Input Gain"), nullptr);  // B has no "audio" element to hold it
    EXPECT_EQ(shown("Unit Name"), "");
    edit("Contact", "B desk");
    press("buttonSave");
    const Message sent = waitForFrames("setSysOptions", 1, 1)[0].message;
    EXPECT_EQ(sent.attributes().keys(), (std::vector<std::string>{"contact", "seq"}));
    EXPECT_EQ(sent.size(), 0);
    EXPECT_TRUE(recorded("setSysOptions", 0).empty());
}

// What Save cannot send gives a box and sends nothing; a number refused stays in its field for the
// operator to correct, and the box names it with its channel. While the codec is down Save sends
// nothing. Once it is back (here with firmware that has no "Input Gain") the edits are there again,
// bold, and go out with the next Save, not before; one it cannot hold is dropped with a line that
// names it.
TEST_F(SettingsTabTest, BadInputAndADroppedCodec) {
    MessageBoxRecorder boxes;
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    showSettingsTab();
    const char* const portBelow = "Program: \"UDP Port\" 5 is below the minimum of 1024. Nothing was sent for it.";
    const struct {
        const char* what;
        std::function<void()> act;
        const char* box;              // the start of the "Save Changes" box's text; null: no box
        bool isSaveLeft;              // Save is enabled afterwards: something is left to save
        const char* field = nullptr;  // the spin box's number after the box, Discard enabled; null: not checked
    } cases[] = {
        // A click on Save takes the focus from the spin box, which keeps the number all the same.
        {"a spin text under the minimum, Save clicked",
         [&] {
             typeInto("UDP Port", "5");
             click("buttonSave");
         },
         portBelow, true, "5"},
        {"a spin text under the minimum, Enter",
         [&] {
             typeInto("UDP Port", "5");
             QTest::keyClick(pageWidget("spinValue"), Qt::Key_Return);
         },
         portBelow, true, "5"},
        // Taken as typed, not cut to 7000; nor are 7, 70 and 700 on the way edits left for Save.
        {"a spin text above the maximum, Save clicked",
         [&] {
             typeInto("UDP Port", "70000");
             EXPECT_EQ(spinText(), "70000");
             click("buttonSave");
         },
         "Program: \"UDP Port\" 70000 is above the maximum of 65535. Nothing was sent for it.", true, "70000"},
        {"a spin text under the minimum, another row clicked, then Save",
         [&] {
             typeInto("UDP Port", "5");
             clickRow("Input Gain");
             EXPECT_TRUE(pageWidget("buttonReset")->isEnabled());  // the 5 is noted for Save
             click("buttonSave");
         },
         portBelow, false},
        {"a spin text under the minimum, another row clicked, a report, the value it held typed again, then Save",
         [&] {
             const QByteArray port = shown("UDP Port").toLatin1();
             typeInto("UDP Port", "5");
             clickRow("Input Gain");
             QSignalSpy reports(session, &IPCObject::recvSysOptions);  // heard after the page
             session->cmd_get_sys_options();
             ASSERT_TRUE(reports.wait(test_support::give_up_after_ms(std::chrono::seconds(5))));
             EXPECT_TRUE(pageWidget("buttonSave")->isEnabled());  // there to name the 5
             typeInto("UDP Port", port.constData());
             click("buttonSave");
         },
         nullptr, false},
        {"a spin text above the maximum, Enter",
         [&] {
             typeInto("Input Gain", "30");
             QTest::keyClick(pageWidget("spinValue"), Qt::Key_Return);
         },
         "\"Input Gain\" 30 dB is above the maximum of 20 dB. Nothing was sent for it.", true, "30"},
        {"a spin text under the minimum with units, Save clicked",
         [&] {
             typeInto("Input Gain", "-30");
             click("buttonSave");
         },
         "\"Input Gain\" -30 dB is below the minimum of -20 dB. Nothing was sent for it.", true, "-30"},
        {"a text with a control character",
         [&] {
             edit("Contact", QStringLiteral("Desk\u0001"));
             press("buttonSave");
         },
         "\"Contact\" must be text without control characters.", true},
        {"Save just after the codec dropped",
         [&] {
             edit("Contact", "Desk 7");
             edit("Input Gain", "5");
             drop(*session);
             press("buttonSave");
         },
         "Nothing was sent", true},
    };
    for (const auto& c : cases) {
        const int before = boxes.count("Save Changes");
        c.act();
        EXPECT_EQ(boxes.count("Save Changes") - before, c.box ? 1 : 0) << c.what;
        if (c.box) {
            EXPECT_TRUE(boxes.lastText("Save Changes").startsWith(c.box))
                << boxes.lastText("Save Changes").toStdString();
        }
        EXPECT_EQ(pageWidget("buttonSave")->isEnabled(), c.isSaveLeft) << c.what;
        if (c.field) {
            EXPECT_EQ(spinText(), c.field) << c.what;
            EXPECT_TRUE(pageWidget("buttonReset")->isEnabled()) << c.what;
        }
    }
    EXPECT_EQ(shown("Contact"), "Desk 7");
    CodecSimOptions without_audio;
    without_audio.malformed_settings = true;
    session->setConnection(QStringLiteral("127.0.0.1"), startFleet(without_audio).ports()[0], QStringLiteral("tarnel"));
    ASSERT_TRUE(wait_processing_events([&] { return settingRow("Input Gain") == nullptr; }));  // refreshed on READY
    EXPECT_EQ(shown("Contact"), "Desk 7");
    EXPECT_EQ(settingRow("Contact")->font(1).weight(), QFont::Bold);
    const auto* line = pageWidget<QLabel>("labelDroppedEdits");
    EXPECT_EQ(line ? line->text() : QString(), "Input Gain: 5 dropped, it is no longer on the codec.");
    EXPECT_TRUE(pageWidget("buttonSave")->isEnabled() && pageWidget("buttonReset")->isEnabled());
    syncWith(*session, 1);
    for (const char* name : {"setSysOptions", "setChannelSettings", "setDirectoryServer", "cfgSetOption"}) {
        EXPECT_TRUE(recorded(name).empty() && recorded(name, 1).empty()) << name;
    }
    press("buttonSave");
    EXPECT_EQ(waitForFrames("setSysOptions", 1, 1)[0].message.attributes().get_qstring("contact", {}), "Desk 7");
}

// The codec's news, from a colleague's client and over a reconnect, brings the codec's values and
// keeps the operator's edits on them; a number still being typed stays typed, no value yet. An edit
// whose option the codec changed is named and kept; one whose peer id names another peer by now is
// dropped and named with the value lost. The lines stay until Save. Discard discards, also while the
// codec is away.
TEST_F(SettingsTabTest, EditsOverCodecNews) {
    MessageBoxRecorder boxes;
    const uint16_t port = startFleet(1).ports()[0];
    IPCObject* session = selectReadyCodec(port);
    IPCObject* colleague = addCodec(port);
    ASSERT_TRUE(wait_processing_events([&] { return colleague->state() == IQEndpointClient::READY; }));
    showSettingsTab();
    const auto lines = [this] {
        auto* label = pageWidget<QLabel>("labelDroppedEdits");
        return label->isHidden() ? std::string() : label->text().toStdString();
    };
    const auto areEditsShown = [this] {
        return shown("Contact") == "Desk 7" && shown("Input Gain") == "15" && shown("UDP Port") == "9100";
    };
    const auto send = [](IPCObject* client, const session_requests::OperatorRequest& asked, const char* xml) {
        ASSERT_TRUE(client->send(session_requests::AskedRequest(Message(xml), asked)));
    };
    const auto reconnect = [&] {
        settingRow("Contact")->parent()->setExpanded(true);  // the fill at READY folds the tree
        session->setConnection(QStringLiteral("127.0.0.1"), port, QStringLiteral("tarnel"));
        ASSERT_TRUE(wait_processing_events([&] {
            return session->state() == IQEndpointClient::READY && !settingRow("Contact")->parent()->isExpanded();
        }));
    };

    typeInto("Contact", "Desk 7");
    typeInto("Auto-Connect Peer", "Berlin");
    const QString berlin = shown("Auto-Connect Peer");
    typeInto("UDP Port", "9100");
    QTest::keyClick(pageWidget("spinValue"), Qt::Key_Return);
    typeInto("Input Gain", "1");  // on the way to 15 when the news comes
    send(colleague, session_requests::kSetSysOptions, R"(<setSysOptions unit_name="Desk Unit" contact="Desk 9"/>)");
    ASSERT_TRUE(wait_processing_events([&] { return shown("Unit Name") == "Desk Unit"; }));
    ASSERT_TRUE(pageWidget("spinValue")->hasFocus());  // the keys that follow go on into the number
    QTest::keyClicks(pageWidget("spinValue"), "5");
    QTest::keyClick(pageWidget("spinValue"), Qt::Key_Return);
    EXPECT_TRUE(areEditsShown() && shown("Auto-Connect Peer") == berlin);
    const std::string contactLine = "Contact: the codec changed it to \"Desk 9\"; your unsaved \"Desk 7\" is kept.";
    EXPECT_EQ(lines(), contactLine);

    // Away, the colleague gives peer 4 another name and address: the id names another peer.
    drop(*session);
    send(colleague, session_requests::kSetPeerSettings,
         R"(<setPeerSettings id="4" name="Rome Stringer" addr="192.0.2.99:9000"/>)");
    ASSERT_TRUE(wait_processing_events([&] {
        Message peer;
        return colleague->findPeer("4", peer) && peer.attributes().get_string("name", "") == "Rome Stringer";
    }));
    reconnect();
    EXPECT_EQ(lines(), contactLine + "\nAuto-Connect Peer: \"" + berlin.toStdString() +
                           "\" dropped, peer 4 is now \"Rome Stringer (192.0.2.99)\".");
    EXPECT_TRUE(areEditsShown() && shown("Auto-Connect Peer") == "(No Peer)");

    const Message reported = cached(*session, "sysOptions");
    click("buttonSave");
    const Message sent = waitForFrames("setSysOptions", 2)[1].message;  // the colleague's went first
    EXPECT_EQ(differences(sent, reported), QStringList({"contact", "audio.input_gain"}));
    const Message channel = waitForFrames("setChannelSettings", 1)[0].message.get_child("channel", 0);
    EXPECT_EQ(channel.attributes().get_qstring("port", {}), "9100");
    EXPECT_EQ(lines(), "");

    typeInto("Contact", "Desk 8");
    drop(*session);
    click("buttonReset");
    reconnect();
    EXPECT_EQ(shown("Contact"), "Desk 7");
    EXPECT_FALSE(pageWidget("buttonSave")->isEnabled());
    syncWith(*session);
    EXPECT_EQ(recorded("setSysOptions").size(), 2u);
    EXPECT_TRUE(boxes.boxes().empty());
}

// A peer id that a colleague's client gives to another peer while the Auto-Connect Peer editor is
// shown: the editor offers the codec's peers as they are now, and a pick of the peer that had the id
// is dropped aloud; the id never goes out for a peer the operator did not pick.
TEST_F(SettingsTabTest, APeerIdTakenByAnotherPeerIsNeverSaved) {
    MessageBoxRecorder boxes;
    CodecSimOptions reusing;
    reusing.reuses_peer_ids = true;
    const uint16_t port = startFleet(reusing).ports()[0];
    IPCObject* session = selectReadyCodec(port);
    IPCObject* colleague = addCodec(port);
    ASSERT_TRUE(wait_processing_events([&] { return colleague->state() == IQEndpointClient::READY; }));
    showSettingsTab();
    auto* combo = pageWidget<QComboBox>("comboValue");
    const auto offered = [combo](const QString& text) { return combo->findText(text) >= 0; };
    // The id of the first peer so named in the page's session; empty when none is.
    const auto idOf = [session](const QString& name) {
        std::lock_guard<SessionMutex> lock(session->mutex());
        for (const PeerMetaPtr& each : session->allPeers) {
            if (each->name == name) return each->id;
        }
        return QString();
    };
    const auto add = [&](const char* name, const char* host) {
        const QString xml = QStringLiteral(R"(<addPeer name="%1" addr="%2:9000" password="x"/>)").arg(name, host);
        ASSERT_TRUE(
            colleague->send(session_requests::AskedRequest(Message(xml.toStdString()), session_requests::kAddPeer)));
        ASSERT_TRUE(wait_processing_events([&] { return !idOf(name).isEmpty(); })) << name;
    };
    // The codec's peer `id` removed, and `name` added, which takes its id.
    const auto replace = [&](const QString& id, const char* name, const char* host) {
        session_requests::AskedRequest request(session_requests::kRemovePeer);
        request.attributes().set("id", id);
        ASSERT_TRUE(colleague->send(request));
        add(name, host);
        ASSERT_EQ(idOf(name), id);
    };
    const QString wrong = "Wrong Studio (203.0.113.66)";
    const QString studioZ = "Studio Z (198.51.100.99)";
    add("Wrong Studio", "203.0.113.66");
    const QString id = idOf("Wrong Studio");
    typeInto("Contact", "Desk 7");
    clickRow("Auto-Connect Peer");
    ASSERT_TRUE(offered(wrong));

    // The entries shown follow the codec's list at once: the one that had the id is gone.
    replace(id, "Studio Z", "198.51.100.99");
    add("Lisbon Annex", "192.0.2.200");
    EXPECT_TRUE(wait_processing_events([&] { return offered(studioZ) && offered("Lisbon Annex (192.0.2.200)"); }));
    EXPECT_FALSE(offered(wrong));
    if (offered(wrong)) combo->setCurrentIndex(combo->findText(wrong));  // the stale entry picked
    click("buttonSave");
    const Message first = waitForFrames("setSysOptions", 1)[0].message;
    EXPECT_EQ(first.attributes().get_qstring("contact", {}), "Desk 7");
    EXPECT_NE(first.attributes().get_qstring("default_peer", {}), id);
    ASSERT_TRUE(wait_processing_events([&] { return !pageWidget("buttonSave")->isEnabled(); }));  // taken

    // A pick that waits in the page's copy is dropped with a line once its id names another peer.
    combo->setCurrentIndex(combo->findText(studioZ));
    ASSERT_EQ(shown("Auto-Connect Peer"), studioZ);
    replace(id, "Wrong Studio", "203.0.113.66");
    auto* lines = pageWidget<QLabel>("labelDroppedEdits");
    EXPECT_TRUE(wait_processing_events([&] { return offered(wrong) && !lines->isHidden(); }));
    EXPECT_TRUE(lines->text().startsWith("Auto-Connect Peer: \"" + studioZ + "\" dropped, peer " + id + " "))
        << lines->text().toStdString();
    EXPECT_EQ(shown("Auto-Connect Peer"), "(No Peer)");
    click("buttonSave");
    syncWith(*session);
    EXPECT_EQ(recorded("setSysOptions").size(), 1u);
    QSignalSpy reports(session, &IPCObject::recvSysOptions);
    session->cmd_get_sys_options();
    ASSERT_TRUE(reports.wait(test_support::give_up_after_ms(std::chrono::seconds(5))));
    EXPECT_EQ(cached(*session, "sysOptions").attributes().get_qstring("default_peer", {}), "0");
    EXPECT_TRUE(boxes.boxes().empty());
}

// At the keyboard: Tab goes from the dock's tabs straight to the tree, and from the editor on through
// "Show Advanced Settings", "Save Changes" and "Discard Changes", in the order they read, before it
// leaves the page; Space on Save saves.
TEST_F(SettingsTabTest, TabReachesSaveAndDiscard) {
    MessageBoxRecorder boxes;
    selectReadyCodec(startFleet(1).ports()[0]);
    showSettingsTab();
    child<QTabWidget>("statusTabWidget")->setFocus();  // its tab bar
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), pageWidget("treeProfileItems"));
    typeInto("Input Gain", "5");
    QStringList reached;
    const auto* page = child<SettingsEdit>("settingWidget");
    for (int step = 0; step < 10; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        if (!focused || !page->isAncestorOf(focused)) break;
        reached << focused->objectName();
    }
    EXPECT_EQ(reached.join(' ').toStdString(), "buttonDefault checkAdvanced buttonSave buttonReset");
    QTest::keyClick(pageWidget("buttonSave"), Qt::Key_Space);
    EXPECT_EQ(
        waitForFrames("setSysOptions", 1)[0].message.get_child("audio", 0).attributes().get_qstring("input_gain", {}),
        "5");
    EXPECT_TRUE(boxes.boxes().empty());
}

// At the keyboard: Enter, or the keypad's Enter, on "Save Changes" reached by Tab sends the number
// typed; on "Discard Changes" it drops it, and the codec's value comes back.
TEST_F(SettingsTabTest, EnterPressesSaveAndDiscardReachedByTab) {
    MessageBoxRecorder boxes;
    selectReadyCodec(startFleet(1).ports()[0]);
    showSettingsTab();
    const struct {
        const char* button;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* typed;
        const char* saved;  // the codec's value afterwards
    } presses[] = {
        {"buttonSave", Qt::Key_Return, Qt::NoModifier, "5", "5"},
        {"buttonSave", Qt::Key_Enter, Qt::KeypadModifier, "6", "6"},
        {"buttonReset", Qt::Key_Return, Qt::NoModifier, "7", "6"},
        {"buttonReset", Qt::Key_Enter, Qt::KeypadModifier, "8", "6"},
    };
    size_t saves = 0;
    for (const auto& c : presses) {
        SCOPED_TRACE(std::string(c.button) + " " + c.typed);
        typeInto("Input Gain", c.typed);
        for (int step = 0; step < 10 && QApplication::focusWidget() != pageWidget(c.button); ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        ASSERT_EQ(QApplication::focusWidget(), pageWidget(c.button));
        QTest::keyClick(pageWidget(c.button), c.key, c.modifiers);
        if (c.button == std::string("buttonSave")) {
            const std::vector<RecordedFrame> sent = waitForFrames("setSysOptions", ++saves);
            ASSERT_EQ(sent.size(), saves);
            EXPECT_EQ(sent.back().message.get_child("audio", 0).attributes().get_qstring("input_gain", {}), c.typed);
        }
        // The codec's value, no longer an edit, and its answer in.
        EXPECT_TRUE(wait_processing_events([&] {
            const auto* save = pageWidget<QPushButton>("buttonSave");
            return shown("Input Gain") == c.saved && !save->isEnabled() && save->text() == "Save Changes";
        })) << shown("Input Gain").toStdString();
    }
    syncWith(*dock().session());
    EXPECT_EQ(recorded("setSysOptions").size(), saves);
    EXPECT_TRUE(boxes.boxes().empty());
}

// A refused save is shown, with the codec's words and code, in one notice that later refusals join;
// the codec's values stay as they were and the edit stays bold.
TEST_F(SettingsTabTest, RefusalsAreShown) {
    MessageBox::setHandler({});  // the notice opens for real: it is not modal, nothing waits on it
    CodecSimOptions refusing;
    refusing.refused_requests = {"setSysOptions"};
    IPCObject* session = selectReadyCodec(startFleet(refusing).ports()[0]);
    const Message before = cached(*session, "sysOptions");
    const auto notice = [this] {
        QMessageBox* box = window->findChild<QMessageBox*>();
        return box && box->isVisible() ? box->text() : QString();
    };
    for (const char* gain : {"5", "6"}) {
        edit("Input Gain", gain);
        press("buttonSave");
        EXPECT_TRUE(wait_processing_events([&] {
            return notice().count("Refused by codec-sim (error 409)") == gain[0] - '4';
        })) << notice().toStdString();
    }
    EXPECT_TRUE(notice().contains(session->unitName() + " (127.0.0.1:"));
    EXPECT_TRUE(notice().contains("refused to save the settings: Refused by codec-sim (error 409)"));
    EXPECT_FALSE(notice().contains("setSysOptions"));
    EXPECT_EQ(window->findChildren<QMessageBox*>().size(), 1);
    EXPECT_EQ(cached(*session, "sysOptions"), before);
    EXPECT_EQ(shown("Input Gain"), "6");
    EXPECT_EQ(settingRow("Input Gain")->font(1).weight(), QFont::Bold);
}

// Replies that lack an element the descriptors name: the page shows the rest and says what it left out.
TEST_F(SettingsTabTest, MalformedRepliesShowTheRest) {
    test_support::CapturedQtMessages messages;
    CodecSimOptions malformed;
    malformed.malformed_settings = true;
    selectReadyCodec(startFleet(malformed).ports()[0]);
    EXPECT_NE(settingRow("Unit Name"), nullptr);
    EXPECT_NE(settingRow("UDP Port"), nullptr);
    EXPECT_EQ(settingRow("Input Gain"), nullptr);
    EXPECT_EQ(settingRow("Braidlink"), nullptr);
    EXPECT_EQ(messages.count_warnings("input_gain"), 1);
    EXPECT_EQ(messages.count_warnings("no \"group\""), 1);
}

}  // namespace

// At the keyboard: the arrow keys on the page's buttons step through the page's own widgets, round
// and round, and never on into the tab bar, whose arrow keys would turn the page, or the tile grid,
// whose arrow keys would make another codec the dock's.
TEST_F(SettingsTabTest, ArrowKeysOnAPageStayInTheDock) {
    CodecSim& fleet = startFleet(2);
    selectReadyCodec(fleet.ports()[1]);
    IPCObject* session = selectReadyCodec(fleet.ports()[0]);
    showSettingsTab();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    pageWidget("checkAdvanced")->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), pageWidget("checkAdvanced"));
    const auto* page = child<QWidget>("settingsTab");
    // Down, Right, Down, as an operator tried it, and on and back many times over.
    const Qt::Key keys[] = {Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Up, Qt::Key_Left};
    QString left;  // the first widget the focus left the page for
    for (int step = 0; step < 200; ++step) {
        QTest::keyClick(QApplication::focusWidget(), keys[step % 5]);
        QWidget* focused = QApplication::focusWidget();
        if (left.isEmpty() && (!focused || !page->isAncestorOf(focused))) {
            left = focused ? QString(focused->metaObject()->className()) + ' ' + focused->objectName() : "nothing";
        }
    }
    EXPECT_EQ(left.toStdString(), "");
    EXPECT_EQ(child<QTabWidget>("statusTabWidget")->currentWidget(), page);
    EXPECT_EQ(dock().session(), session);
}
