// The dock's peer dialogs against codec-sim: adding, editing and connecting peers, copying a profile
// and a peer to other codecs, bad input, refusals, and codecs that go while a dialog is open.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>

#include "app/dock/peer_items.h"
#include "app/dock/profile_list_panel.h"
#include "dialogs/profile_edit.h"
#include "scheduler/job_dialog.h"
#include "sessions/session_requests.h"
#include "tests/app/dock/dock_fixture.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/modal_dialog.h"
#include "text/unit_label.h"

namespace {

using test_support::wait_processing_events;

template <typename T>
T* field(QDialog* dialog, const char* name) {
    return dialog->findChild<T*>(QString::fromLatin1(name));
}

// Name, address, password, MAC address; a MAC address ticks "Use Braidlink".
void fill(QDialog* entry, const QStringList& values) {
    const char* const lines[] = {"lineName", "lineIPAddress", "linePassword", "macAddressLineEdit"};
    field<QCheckBox>(entry, "braidlinkEnableCheckBox")->setChecked(!values[3].isEmpty());
    for (int i = 0; i < 4; ++i) field<QLineEdit>(entry, lines[i])->setText(values[i]);
}

void pressOk(QDialog* dialog) {
    if (auto* box = field<QDialogButtonBox>(dialog, "buttonBox")) return box->button(QDialogButtonBox::Ok)->click();
    field<QPushButton>(dialog, "buttonOK")->click();
}

// Selects the first row whose `role` holds `value`.
void selectRow(QListWidget* list, int role, const QVariant& value) {
    for (int row = list->count() - 1; row >= 0; --row) {
        if (list->item(row)->data(role) == value) list->setCurrentRow(row);
    }
}

void tickRows(QDialog* send) {
    auto* list = field<QListWidget>(send, "deviceList");
    for (int row = 0; row < list->count(); ++row) list->item(row)->setCheckState(Qt::Checked);
}

class PeerDialogsTest : public app_test::DockFixture {
protected:
    // Runs `open` and, inside it, `act` on the dialog it opens; no dialog is left afterwards but the
    // profile editor, which is kept for the whole run.
    void withDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& act) {
        bool is_shown = false;
        test_support::on_next_modal([&](QDialog* dialog) {
            is_shown = true;
            act(dialog);
        });
        open();
        EXPECT_TRUE(is_shown);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            const bool is_kept = qobject_cast<QMessageBox*>(top) || qobject_cast<ProfileEdit*>(top);
            EXPECT_TRUE(!qobject_cast<QDialog*>(top) || is_kept) << top->windowTitle().toStdString();
        }
    }
    // The first address-book peer of `session` that `wanted` takes (all, by default); null when none.
    static PeerMetaPtr bookPeer(IPCObject& session, const std::function<bool(const PeerMeta&)>& wanted = {}) {
        std::lock_guard<SessionMutex> lock(session.mutex());
        for (const PeerMetaPtr& peer : session.bookPeers) {
            if (!wanted || wanted(*peer)) return peer;
        }
        return nullptr;
    }
    PeerMetaPtr selectBookPeer(IPCObject& session, const std::function<bool(const PeerMeta&)>& wanted = {}) {
        const PeerMetaPtr peer = bookPeer(session, wanted);
        for (int row = 0; row < peerTree()->topLevelItemCount(); ++row) {
            if (peerTree()->topLevelItem(row)->data(0, kPeerIdRole) == peer->id)
                peerTree()->setCurrentItem(peerTree()->topLevelItem(row));
        }
        return peer;
    }
};

// A ticked Braidlink adds "use_bdlink" and "unit", an unticked one neither; editing only the name
// sends the codec's full address back, port included; the codec's list then shows each. Blanks
// typed around a name or an address stay out. Then the edited peer is connected with another
// profile.
TEST_F(PeerDialogsTest, AddsEditsAndConnectsPeers) {
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    const std::pair<QStringList, const char*> adds[] = {
        {{"Desk 9", "10.1.1.9", "pw9", "00:11:22:33:44:55"},
         R"(<addPeer addr="10.1.1.9" name="Desk 9" password="pw9" seq="addPeer" unit="00:11:22:33:44:55" use_bdlink="true"/>)"},
        {{" Radio Nord ", " 203.0.113.9:9000 ", "pw10", ""},
         R"(<addPeer addr="203.0.113.9:9000" name="Radio Nord" password="pw10" seq="addPeer"/>)"}};
    for (size_t i = 0; i < std::size(adds); ++i) {
        withDialog([&] { dock().addNewPeer(); },
                   [&](QDialog* dialog) {
                       EXPECT_EQ(dialog->windowTitle(), "Add Peer");
                       fill(dialog, adds[i].first);
                       pressOk(dialog);
                   });
        EXPECT_EQ(waitForFrames("addPeer", i + 1)[i].xml, adds[i].second);
    }
    EXPECT_TRUE(wait_processing_events([&] {
        return bookPeer(*session, [](const PeerMeta& peer) { return peer.name == "Desk 9" && peer.bdlink; }) &&
               bookPeer(*session, [](const PeerMeta& peer) { return peer.name == "Radio Nord" && !peer.bdlink; });
    }));

    const PeerMetaPtr peer = selectBookPeer(*session);
    Message original;
    ASSERT_TRUE(session->findPeer(peer->id, original));
    withDialog([&] { dock().editPeer(); },
               [&](QDialog* dialog) {
                   EXPECT_EQ(dialog->windowTitle(), "Edit Peer");
                   field<QLineEdit>(dialog, "lineName")->setText(" Renamed ");
                   auto* address = field<QLineEdit>(dialog, "lineIPAddress");
                   address->setText("  " + address->text() + " ");
                   pressOk(dialog);
               });
    const Message::Attributes& a = original.attributes();
    EXPECT_EQ(waitForFrames("setPeerSettings", 1)[0].xml,
              R"(<setPeerSettings addr=")" + a.get_string("addr", "") + R"(" bdlink="false" id=")" +
                  a.get_string("id", "") + R"(" name="Renamed" password=")" + a.get_string("pw", "") +
                  R"(" seq="setPeerSettings" unit=""/>)");
    EXPECT_EQ(a.get_string("addr", "").substr(a.get_string("addr", "").size() - 5), ":9000");
    EXPECT_TRUE(wait_processing_events([&] { return peerTree()->findItems("Renamed", Qt::MatchExactly).size() == 1; }));

    // "Connection setup" with a profile other than the peer's: the profile is assigned, then connected.
    const QString profile = session->profiles.last().id;
    ASSERT_FALSE(session->profiles.last().isDefault || peer->active || peer->profile != 0);
    withDialog([&] { dock().showConnectDialog(); },
               [&](QDialog* dialog) {
                   EXPECT_EQ(dialog->windowTitle(), "Connection setup");
                   selectRow(field<QListWidget>(dialog, "peerList"), kPeerIdRole, peer->id);
                   selectRow(field<QListWidget>(dialog, "profileList"), kProfileIdRole, profile);
                   pressOk(dialog);
               });
    const app_test::RecordedFrame connect = waitForFrames("connect", 1)[0];
    const app_test::RecordedFrame assign = waitForFrames("setPeerSettings", 2)[1];
    EXPECT_LT(assign.line, connect.line);
    EXPECT_EQ(assign.xml + connect.xml,
              QStringLiteral(R"(<setPeerSettings id="%1" profile="%2" seq="setPeerSettings"/><connect id="%1"/>)")
                  .arg(peer->id, profile)
                  .toStdString());
}

// What the operator chose stays chosen, or is named, while the codec's lists come again; nothing
// is chosen in its place. Codec 0: book peers 1 to 4 (4 "Berlin Desk"), profiles 2 "Voice Mono", 3.
TEST_F(PeerDialogsTest, ChoicesSurviveTheCodecsListsAndNothingTakesTheirPlace) {
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    // Another client names profile 2 and adds a peer.
    const auto listsComeAgain = [&](const char* profileName) {
        QSignalSpy peerLists(session, &IPCObject::recvPeerList), profileLists(session, &IPCObject::recvProfileList);
        Message profile;
        ASSERT_TRUE(session->findProfile(QStringLiteral("2"), profile));
        profile.get_child("settings", 0).attributes().set("name", profileName);
        session->cmd_set_profile(profile);
        session->cmd_add_peer(QStringLiteral("Late"), QStringLiteral("10.9.9.9"), QString());
        ASSERT_TRUE(wait_processing_events([&] { return !peerLists.isEmpty() && !profileLists.isEmpty(); }));
    };
    const struct {
        const char *peer, *profile, *renamed, *problem;
    } connections[] = {
        {"3", "3", "Voice Mono", ""},
        {"4", "2", "Voice Stereo",
         "The codec no longer has the peer \"Berlin Desk\" you chose. Choose the peer again.\n"
         "You chose \"Voice Mono\", but profile 2 is now \"Voice Stereo\". Choose the profile again."},
    };
    for (const auto& c : connections) {
        withDialog([&] { child<QAction>("actionConnect")->trigger(); },
                   [&](QDialog* dialog) {
                       selectRow(field<QListWidget>(dialog, "peerList"), kPeerIdRole, c.peer);
                       selectRow(field<QListWidget>(dialog, "profileList"), kProfileIdRole, c.profile);
                       if (*c.problem) session->cmd_remove_peer(4);
                       listsComeAgain(c.renamed);
                       pressOk(dialog);
                       EXPECT_EQ(field<QLabel>(dialog, "problemLabel")->text(), c.problem);
                       if (dialog->isVisible()) dialog->reject();
                   });
    }
    syncWith(*session);
    ASSERT_EQ(recorded("connect").size(), 1u);
    EXPECT_EQ(waitForFrames("setPeerSettings", 1).at(0).xml + recorded("connect")[0].xml,
              R"(<setPeerSettings id="3" profile="3" seq="setPeerSettings"/><connect id="3"/>)");

    peerTree()->clearSelection();
    withDialog([&] { child<QAction>("actionScheduleSelectedConnection")->trigger(); },
               [&](QDialog* dialog) {
                   listsComeAgain("Voice Mono");
                   EXPECT_EQ(qobject_cast<JobDialog*>(dialog)->targetPeer(), "");
                   dialog->reject();
               });

    // A second "Remove Peer" removes nothing.
    peerTree()->setCurrentItem(peerTree()->findItems("Paris Bureau", Qt::MatchExactly).value(0));
    child<QAction>("actionRemoveEntry")->trigger();
    ASSERT_TRUE(
        wait_processing_events([&] { return peerTree()->findItems("Paris Bureau", Qt::MatchExactly).isEmpty(); }));
    child<QAction>("actionRemoveEntry")->trigger();
    syncWith(*session);
    EXPECT_EQ(recorded("removePeer").size(), 2u);  // 4 by the other client, then 2
}

// One table over the dock, Connection setup and the job dialog. A peer or profile chosen there
// follows the operator's own rename (the dock's Edit Peer, the Profile Editor) under its new name;
// another client's rename, or the id leaving the list, leaves nothing chosen, each with its own
// true line. Each row has a second client of codec 0 add a peer "OB Van" at 198.51.100.7, or copy a
// profile as "Music Row", which the dock chooses first: the operator's own renames start there.
TEST_F(PeerDialogsTest, OnlyTheOperatorsOwnRenameKeepsAChoice) {
    const uint16_t port = startFleet(1).ports()[0];
    IPCObject* session = selectReadyCodec(port);
    IPCObject* other = addCodec(port);
    ASSERT_TRUE(wait_processing_events([&] { return other->state() == IQEndpointClient::READY; }));
    enum class View { kDock, kSetup, kJob };
    enum class Change { kOwnRename, kOtherRename, kGone };
    const char* const peerRenamed =
        "You chose \"OB Van\", but peer %1 is now \"OB Van North\" at 198.51.100.8. Choose the peer again.";
    const char* const peerGone = "The codec no longer has the peer \"OB Van\" you chose. Choose the peer again.";
    const char* const profileRenamed =
        "You chose \"Music Row\", but profile %1 is now \"Music Row B\". Choose the profile again.";
    const char* const profileGone =
        "The codec no longer has the profile \"Music Row\" you chose. Choose the profile again.";
    const struct Case {
        const char* what;
        View view;
        bool isPeer;
        Change change;
        const char* line;  // %1: the id; empty while the choice stands
    } cases[] = {
        {"dock, own Edit Peer", View::kDock, true, Change::kOwnRename, ""},
        {"dock, peer renamed elsewhere", View::kDock, true, Change::kOtherRename, peerRenamed},
        {"dock, peer gone", View::kDock, true, Change::kGone, peerGone},
        {"dock, own Profile Editor rename", View::kDock, false, Change::kOwnRename, ""},
        {"dock, profile renamed elsewhere", View::kDock, false, Change::kOtherRename, profileRenamed},
        {"dock, profile gone", View::kDock, false, Change::kGone, profileGone},
        {"setup, own Edit Peer", View::kSetup, true, Change::kOwnRename, ""},
        {"setup, peer renamed elsewhere", View::kSetup, true, Change::kOtherRename, peerRenamed},
        {"setup, peer gone", View::kSetup, true, Change::kGone, peerGone},
        {"setup, own Profile Editor rename", View::kSetup, false, Change::kOwnRename, ""},
        {"setup, profile renamed elsewhere", View::kSetup, false, Change::kOtherRename, profileRenamed},
        {"setup, profile gone", View::kSetup, false, Change::kGone, profileGone},
        {"job, own Edit Peer", View::kJob, true, Change::kOwnRename, ""},
        {"job, peer renamed elsewhere", View::kJob, true, Change::kOtherRename, peerRenamed},
        {"job, peer gone", View::kJob, true, Change::kGone, peerGone},
    };
    // The first {id, name, ...} that `listing` (the session, or the other client) holds with
    // `value` at `at` (0 the id, 1 the name) among its peers or profiles; empty when none.
    const auto listedIn = [](IPCObject& listing, bool isPeer, int at, const QString& value) {
        QList<QStringList> listed;
        {
            std::lock_guard<SessionMutex> lock(listing.mutex());
            if (isPeer) {
                for (const PeerMetaPtr& peer : listing.allPeers) listed << peer->identity();
            } else {
                for (const ProfileInfo& profile : listing.profiles) listed << profile.identity();
            }
        }
        for (const QStringList& each : listed) {
            if (each.value(at) == value) return each;
        }
        return QStringList();
    };
    const auto nameIn = [&](IPCObject& listing, bool isPeer, const QString& id) {
        return listedIn(listing, isPeer, 0, id).value(1);
    };
    const auto change = [&](const Case& c, const QString& id) {
        const QString renamed = c.isPeer ? "OB Van North" : "Music Row B";
        if (c.change == Change::kOwnRename) {
            test_support::on_next_modal([&](QDialog* editor) {
                if (c.isPeer) {
                    field<QLineEdit>(editor, "lineName")->setText(renamed);
                    field<QLineEdit>(editor, "lineIPAddress")->setText("198.51.100.8:9000");
                    return pressOk(editor);
                }
                auto* tree = field<QTreeWidget>(editor, "treeProfileItems");
                tree->setCurrentItem(tree->findItems("Profile Name", Qt::MatchExactly | Qt::MatchRecursive).value(0));
                field<QLineEdit>(editor, "lineValue")->setText(renamed);
                field<QPushButton>(editor, "buttonSave")->click();
            });
            c.isPeer ? dock().editPeer() : static_cast<void>(dock().editProfile());
        } else if (c.change == Change::kOtherRename && c.isPeer) {
            session_requests::AskedRequest edit(session_requests::kSetPeerSettings);
            edit.attributes().set("id", id.toInt());
            edit.attributes().set("name", renamed);
            edit.attributes().set("addr", "198.51.100.8:9000");
            other->send(edit);
        } else if (c.change == Change::kOtherRename) {
            Message profile;
            other->findProfile(id, profile);
            profile.get_child("settings", 0).attributes().set("name", renamed);
            other->cmd_set_profile(profile);
        } else {
            c.isPeer ? other->cmd_remove_peer(id.toInt()) : other->cmd_delete_profile(id.toInt());
        }
        const QString listed = c.change == Change::kGone ? QString() : renamed;
        EXPECT_TRUE(wait_processing_events([&] { return nameIn(*session, c.isPeer, id) == listed; }));
    };
    // The chosen id and the text it shows with, and the line said about a choice; each empty when none.
    struct Seen {
        QString id, shown, line;
    };
    const auto seenIn = [&](const Case& c, QDialog* dialog) {
        const auto said = [](const QLabel* label) { return label->isVisible() ? label->text() : QString(); };
        if (auto* job = qobject_cast<JobDialog*>(dialog)) {
            return Seen{job->targetPeer(), field<QComboBox>(dialog, "targetCombo")->currentText(),
                        said(field<QLabel>(dialog, "problemLabel"))};
        }
        if (dialog) {
            const QListWidgetItem* row =
                field<QListWidget>(dialog, c.isPeer ? "peerList" : "profileList")->currentItem();
            const bool isChosen = row && row->isSelected();
            return Seen{isChosen ? row->data(c.isPeer ? kPeerIdRole : kProfileIdRole).toString() : QString(),
                        isChosen ? row->text() : QString(), said(field<QLabel>(dialog, "problemLabel"))};
        }
        const QLabel* line = child<QLabel>(c.isPeer ? "lostPeerLabel" : "lostProfileLabel");
        const QString lostLine = line->isVisibleTo(window.get()) ? line->text() : QString();
        if (c.isPeer) {
            const QTreeWidgetItem* row = peerTree()->selectedItems().value(0);
            return Seen{row ? row->data(0, kPeerIdRole).toString() : QString(), row ? row->text(0) : QString(),
                        lostLine};
        }
        const QListWidgetItem* row = profileList()->selectedItems().value(0);
        return Seen{row ? row->data(kProfileIdRole).toString() : QString(), row ? row->text() : QString(), lostLine};
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.isPeer) {
            other->cmd_add_peer("OB Van", "198.51.100.7", QString());
        } else {
            other->cmd_copy_profile(2, "Music Row");
        }
        QString id;
        ASSERT_TRUE(wait_processing_events([&] {
            id = listedIn(*session, c.isPeer, 1, c.isPeer ? "OB Van" : "Music Row").value(0);
            return !id.isEmpty() && !nameIn(*other, c.isPeer, id).isEmpty();
        }));
        if (c.isPeer) {
            peerTree()->setCurrentItem(peerTree()->findItems("OB Van", Qt::MatchExactly).value(0));
        } else {
            selectRow(profileList(), kProfileIdRole, id);
        }
        Seen seen;
        if (c.view == View::kDock) {
            change(c, id);
            seen = seenIn(c, nullptr);
        } else {
            window->handleAllEnables();
            const char* action = c.view == View::kSetup ? "actionConnect" : "actionScheduleSelectedConnection";
            withDialog([&] { child<QAction>(action)->trigger(); },
                       [&](QDialog* dialog) {
                           if (c.view == View::kSetup) {
                               selectRow(field<QListWidget>(dialog, c.isPeer ? "peerList" : "profileList"),
                                         c.isPeer ? kPeerIdRole : kProfileIdRole, id);
                           }
                           EXPECT_EQ(seenIn(c, dialog).id, id);  // chosen before the change
                           change(c, id);
                           seen = seenIn(c, dialog);
                           dialog->reject();
                       });
        }
        // Kept under its new name; or nothing chosen.
        const bool isKept = c.change == Change::kOwnRename;
        EXPECT_EQ(seen.id, isKept ? id : QString());
        EXPECT_EQ(seen.shown.section(" (", 0, 0), isKept ? (c.isPeer ? "OB Van North" : "Music Row B") : "");
        EXPECT_EQ(seen.line, QString(c.line).replace("%1", id));
    }
}

// Connection setup and the job dialog each name, at the top, the codec they act on as the fleet
// names it: the one the dock shows, not the other codec. The line follows the codec's name, which
// a codec may make long and full of markup: cut short, and plain.
TEST_F(PeerDialogsTest, EachDialogNamesTheCodecItActsOn) {
    const std::vector<uint16_t> ports = startFleet(2).ports();
    IPCObject* notShown = addCodec(ports[0]);
    IPCObject* session = selectReadyCodec(ports[1]);
    IPCObject* other = addCodec(ports[1]);
    ASSERT_TRUE(wait_processing_events(
        [&] { return notShown->state() == IQEndpointClient::READY && other->state() == IQEndpointClient::READY; }));
    const QString name = session->unitName();
    ASSERT_FALSE(name.isEmpty());
    ASSERT_NE(notShown->unitName(), name);
    const QString marked = "<b>FM-08</b> " + QString(200, 'x');
    for (const char* action : {"actionConnect", "actionScheduleConnection"}) {
        SCOPED_TRACE(action);
        window->handleAllEnables();
        withDialog([&] { child<QAction>(action)->trigger(); },
                   [&](QDialog* dialog) {
                       const auto* line = field<QLabel>(dialog, "codecLabel");
                       EXPECT_NE(line, nullptr);
                       if (line) {
                           EXPECT_EQ(line->text(), "Codec: " + name);
                           other->cmd_set_unit_name(marked);
                           EXPECT_TRUE(wait_processing_events([&] { return line->text() != "Codec: " + name; }));
                           EXPECT_EQ(line->text(), "Codec: " + marked.left(kMaxUnitLabelLength - 1) + QChar(0x2026));
                           EXPECT_EQ(line->textFormat(), Qt::PlainText);
                           other->cmd_set_unit_name(name);
                           EXPECT_TRUE(wait_processing_events([&] { return line->text() == "Codec: " + name; }));
                       }
                       dialog->reject();
                   });
    }
}

// On a codec of the old protocol Braidlink is not offered: the request has neither of its fields,
// whatever the locked box holds.
TEST_F(PeerDialogsTest, ALegacyCodecLocksBraidlink) {
    selectReadyCodec(startFleet(1, CodecSimMode::kLegacy).ports()[0]);
    withDialog([&] { dock().addNewPeer(); },
               [&](QDialog* dialog) {
                   EXPECT_FALSE(field<QCheckBox>(dialog, "braidlinkEnableCheckBox")->isEnabled());
                   EXPECT_FALSE(field<QLineEdit>(dialog, "macAddressLineEdit")->isEnabled());
                   fill(dialog, {"", "10.1.1.9", "", "00:11:22:33:44:55"});
                   pressOk(dialog);
               });
    EXPECT_EQ(waitForFrames("addPeer", 1)[0].xml, R"(<addPeer addr="10.1.1.9" name="" password="" seq="addPeer"/>)");
}

// The source's default profile reaches two codecs under the ids they give it, and stays out of their
// defaults; a peer goes with its password and Braidlink flag. Their lists then hold the copies.
// A codec that stops while the dialog is open gets nothing, and a box names it.
TEST_F(PeerDialogsTest, CopiesAProfileAndAPeerToOtherCodecs) {
    const std::vector<uint16_t> ports = startFleet(3).ports();
    const std::map<int, IPCObject*> targets = {{ports[0], addCodec(ports[0])}, {ports[1], addCodec(ports[1])}};
    // Its default profile is not a factory one, and uses a channel every codec has.
    IPCObject* source = selectReadyCodec(ports[2]);
    std::map<IPCObject*, QString> defaults;
    for (const auto& [port, target] : targets) {
        ASSERT_TRUE(wait_processing_events([target = target] { return target->state() == IQEndpointClient::READY; }));
        defaults[target] = target->defaultProfileId;
    }
    selectRow(profileList(), kProfileDefaultRole, true);
    const QString name = profileList()->currentItem()->data(kProfileNameRole).toString();
    withDialog([&] { dock().sendProfileTriggered(); },
               [&](QDialog* dialog) {
                   EXPECT_EQ(dialog->windowTitle(), "Copy Profile to...");
                   EXPECT_EQ(field<QLabel>(dialog, "copiedLabel")->text(),
                             "The profile \"" + name + "\" goes to the codecs you tick.");
                   tickRows(dialog);
                   pressOk(dialog);
               });
    EXPECT_EQ(waitForFrames("addProfile", 2).size(), 2u);
    for (const app_test::RecordedFrame& write : waitForFrames("setProfile", 2)) {
        IPCObject* target = targets.at(write.port);
        EXPECT_FALSE(write.message.attributes().has("default"));
        EXPECT_TRUE(wait_processing_events([&] {
            std::lock_guard<SessionMutex> lock(target->mutex());
            return std::any_of(target->profiles.begin(), target->profiles.end(), [&](const ProfileInfo& each) {
                return each.id.toStdString() == write.message.attributes().get_string("id", "") && each.name == name;
            });
        }));
        EXPECT_EQ(target->defaultProfileId, defaults[target]);
    }

    MessageBoxRecorder boxes;
    IPCObject* leaving = addCodec(startFleet(1).ports()[0]);
    ASSERT_TRUE(wait_processing_events([&] { return leaving->state() == IQEndpointClient::READY; }));
    const QString label = QStringLiteral("%1 : 127.0.0.1:%2").arg(leaving->unitName()).arg(fleets[1]->ports()[0]);
    const PeerMetaPtr peer = selectBookPeer(*source, [](const PeerMeta& each) { return each.bdlink; });
    withDialog([&] { dock().sendPeerTriggered(); },
               [&](QDialog* dialog) {
                   tickRows(dialog);
                   fleets[1].reset();
                   ASSERT_TRUE(wait_processing_events([&] { return leaving->state() != IQEndpointClient::READY; }));
                   pressOk(dialog);
               });
    EXPECT_TRUE(boxes.lastText("Copy Peer to...").endsWith("\n" + label))
        << boxes.lastText("Copy Peer to...").toStdString();
    EXPECT_TRUE(recorded("addPeer", 1).empty());
    for (const app_test::RecordedFrame& copy : waitForFrames("addPeer", 2)) {
        EXPECT_EQ(copy.xml,
                  QStringLiteral(
                      R"(<addPeer addr="%1:9000" name="%2" password="%3" seq="addPeer" unit="%4" use_bdlink="true"/>)")
                      .arg(peer->addr, peer->name, peer->password, peer->unit)
                      .toStdString());
        EXPECT_TRUE(wait_processing_events([&] {
            return bookPeer(*targets.at(copy.port),
                            [&](const PeerMeta& each) { return each.name == peer->name && each.bdlink; }) != nullptr;
        }));
    }
}

// A codec of the old protocol could not finish a profile copy: its row is off and says why, and
// even ticked it is sent nothing.
TEST_F(PeerDialogsTest, ALegacyCodecTakesNoProfileCopy) {
    MessageBoxRecorder boxes;
    IPCObject* legacy = addCodec(startFleet(1, CodecSimMode::kLegacy).ports()[0]);
    selectReadyCodec(startFleet(1).ports()[0]);
    ASSERT_TRUE(wait_processing_events([&] { return legacy->state() == IQEndpointClient::READY; }));
    selectRow(profileList(), kProfileFactoryRole, false);
    withDialog([&] { dock().sendProfileTriggered(); },
               [](QDialog* dialog) {
                   const QListWidgetItem* row = field<QListWidget>(dialog, "deviceList")->item(0);
                   EXPECT_FALSE(row->flags() & Qt::ItemIsEnabled);
                   EXPECT_TRUE(row->text().endsWith("(Old protocol)")) << row->text().toStdString();
                   tickRows(dialog);
                   pressOk(dialog);
               });
    syncWith(*legacy);
    EXPECT_TRUE(recorded("addProfile").empty());
}

// A copy writes, and deletes, only the profile its own "addProfile" made, and the notice says what
// it could not do. Each case copies to a codec of its own with one fault: the copy's write refused;
// the id of a profile the codec held; an edit's refusal answered before the copy's write; the
// removal of the empty profile refused too. That codec then refuses the operator's removals.
TEST_F(PeerDialogsTest, CopiesTouchOnlyWhatTheyMade) {
    MessageBoxRecorder boxes;  // says Yes to "Remove Profile" and keeps the notices
    selectReadyCodec(startFleet(1).ports()[0]);
    selectRow(profileList(), kProfileFactoryRole, false);
    const QString copied = profileList()->currentItem()->data(kProfileNameRole).toString();
    // What the codec holds under the id the copy was given, in the end.
    enum class Left { kNothing, kItsOwnProfile, kTheCopy, kAnEmptyProfile };
    const struct {
        const char* what;
        std::function<void(CodecSimOptions&)> fault;
        Left left;
        const char* notice;  // %1 the codec, %2 the profile under the copy's id, as the codec names it
    } cases[] = {
        {"its write refused", [](CodecSimOptions& o) { o.refused_requests = {"setProfile"}; }, Left::kNothing,
         "%1 refused to copy a profile: Refused by codec-sim (error 409); the profile copy was not made"},
        {"the id of a profile it held", [](CodecSimOptions& o) { o.reuses_profile_ids = true; }, Left::kItsOwnProfile,
         "%1: the profile copy was not made: the codec answered addProfile with the id of its profile %2, which was "
         "left as it was"},
        {"an edit's refusal first", [](CodecSimOptions& o) { o.swapped_answers = {"setProfile"}; }, Left::kTheCopy,
         "%1 refused to save a profile: setProfile: name empty or longer than 256 bytes (error 400); an empty profile "
         "made for a profile copy may be left on it: %2"},
        {"its removal refused",
         [](CodecSimOptions& o) {
             o.refused_requests = {"setProfile", "deleteProfile", "removePeer"};
         },
         Left::kAnEmptyProfile,
         "%1 refused to remove a profile: Refused by codec-sim (error 409); the empty profile %2, made for a profile "
         "copy, stays on it"},
    };
    IPCObject* target = nullptr;
    QString codec;
    const auto noticeLines = [&] { return boxes.lines("Changes Refused"); };
    for (const auto& c : cases) {
        CodecSimOptions options;
        c.fault(options);
        const size_t fleet = fleets.size();
        const uint16_t port = startFleet(options).ports()[0];
        target = addCodec(port);
        ASSERT_TRUE(wait_processing_events(
            [&] { return target->state() == IQEndpointClient::READY && !target->profiles.isEmpty(); }));
        codec = QStringLiteral("%1 (127.0.0.1:%2)").arg(target->unitName()).arg(port);
        const ProfileInfo held = [&] {
            std::lock_guard<SessionMutex> lock(target->mutex());
            return target->profiles.last();
        }();
        withDialog([&] { dock().sendProfileTriggered(); },
                   [&](QDialog* dialog) {
                       auto* list = field<QListWidget>(dialog, "deviceList");
                       for (int row = 0; row < list->count(); ++row) {
                           if (list->item(row)->text().endsWith(QStringLiteral(":%1").arg(port)))
                               list->item(row)->setCheckState(Qt::Checked);
                       }
                       pressOk(dialog);
                   });
        QString id = held.id;
        if (c.left != Left::kItsOwnProfile) {
            id = QString::fromStdString(
                waitForFrames("setProfile", 1, fleet)[0].message.attributes().get_string("id", ""));
        }
        if (c.left == Left::kTheCopy)
            target->cmd_set_profile(
                Message("<profile id=\"" + held.id.toStdString() + "\"><settings name=\"\"/></profile>"));
        const auto nameOf = [&] {
            std::lock_guard<SessionMutex> lock(target->mutex());
            for (const ProfileInfo& each : target->profiles) {
                if (each.id == id) return each.name;
            }
            return QString();
        };
        ASSERT_TRUE(wait_processing_events([&] {
            const QString profile = QStringLiteral("\"%1\" (id %2)").arg(nameOf(), id);
            return noticeLines().contains(QString(c.notice).replace("%1", codec).replace("%2", profile));
        })) << c.what
            << ": " << noticeLines().join('\n').toStdString();
        syncWith(*target, fleet);
        const bool isRemoved = c.left == Left::kNothing || c.left == Left::kAnEmptyProfile;
        EXPECT_EQ(recorded("deleteProfile", fleet).size(), isRemoved ? 1u : 0u) << c.what;
        if (isRemoved) {
            EXPECT_EQ(recorded("deleteProfile", fleet)[0].xml,
                      "<deleteProfile id=\"" + id.toStdString() + "\" seq=\"deleteProfile\"/>");
        }
        const QString expectedName[] = {QString(), held.name, copied, QStringLiteral("New Profile")};
        EXPECT_TRUE(wait_processing_events([&] { return nameOf() == expectedName[static_cast<int>(c.left)]; }))
            << c.what << ": " << nameOf().toStdString();
    }

    window->activeInstanceSelected(target);
    const PeerMetaPtr removed = selectBookPeer(*target);
    dock().removePeer();
    ASSERT_TRUE(wait_processing_events([&] {
        return noticeLines().contains(codec + " refused to remove the peer \"" + removed->name +
                                      "\": Refused by codec-sim (error 409)");
    })) << noticeLines().join('\n').toStdString();
    selectRow(profileList(), kProfileFactoryRole, false);
    const QString profile = profileList()->currentItem()->data(kProfileNameRole).toString();
    dock().removeProfile();
    EXPECT_TRUE(wait_processing_events([&] {
        return noticeLines().contains(codec + " refused to remove the profile \"" + profile +
                                      "\": Refused by codec-sim (error 409)");
    })) << noticeLines().join('\n').toStdString();
}

// OK finds the peer gone from the codec: a box says so, the dialog opens again with what was typed,
// and nothing goes to the codec.
TEST_F(PeerDialogsTest, EditSendsNothingWhenThePeerIsGone) {
    MessageBoxRecorder boxes;
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    const PeerMetaPtr peer = selectBookPeer(*session);
    QString reopened;
    withDialog([&] { dock().editPeer(); },
               [&](QDialog* dialog) {
                   field<QLineEdit>(dialog, "lineName")->setText("Renamed");
                   session->cmd_remove_peer(peer->id.toInt());
                   ASSERT_TRUE(wait_processing_events([&] {
                       Message gone;
                       return !session->findPeer(peer->id, gone);
                   }));
                   test_support::on_next_modal([&](QDialog* again) {
                       reopened = field<QLineEdit>(again, "lineName")->text();
                       again->reject();
                   });
                   pressOk(dialog);
               });
    EXPECT_EQ(reopened, "Renamed");
    EXPECT_TRUE(boxes.lastText("Edit Peer").startsWith("Nothing was sent: the codec no longer has"))
        << boxes.lastText("Edit Peer").toStdString();
    syncWith(*session);
    EXPECT_TRUE(recorded("setPeerSettings").empty());
}

// What the codec could not take says why; the entry dialog stays, or opens again with what was
// typed; nothing reaches the codec.
TEST_F(PeerDialogsTest, BadInputSendsNothing) {
    MessageBoxRecorder boxes;
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    selectBookPeer(*session);
    const struct {
        const char* what;
        bool isEdit;
        QStringList entry;
        const char* reason;  // of the dialog's note, or of the box for a dropped codec
    } cases[] = {
        {"a blank address", false, {"A", " ", "", ""}, "Enter the peer's \"IP Address\"."},
        {"Braidlink without MAC", false, {"A", "", "", " "}, "\"Use Braidlink\" needs the remote unit's"},
        {"a blank name on edit", true, {"", "10.0.0.1", "", ""}, "Enter a \"Name\" for the peer."},
        {"a control character", true, {"A", "10.0.0.1", "p\x01", ""}, "\"Connection Password\" must be text"},
        {"a blank inside the address",
         false,
         {"A", " 203.0.113. 9:9000 ", "", ""},
         "Enter the peer's \"IP Address\" without blanks."},
        {"a blank inside the address on edit",
         true,
         {"A", "10.0.0.1 :9000", "", ""},
         "Enter the peer's \"IP Address\" without blanks."},
        {"the codec dropped before OK", false, {"A", "10.0.0.1", "", ""}, "Nothing was sent: the codec is not"},
    };
    for (const auto& c : cases) {
        const bool drops = &c == &cases[std::size(cases) - 1];
        QString note;
        QString reopened;
        withDialog([&] { c.isEdit ? dock().editPeer() : dock().addNewPeer(); },
                   [&](QDialog* dialog) {
                       fill(dialog, c.entry);
                       if (drops) {
                           session->disconnectIPC();
                           ASSERT_TRUE(
                               wait_processing_events([&] { return session->state() != IQEndpointClient::READY; }));
                           test_support::on_next_modal([&](QDialog* again) {
                               reopened = field<QLineEdit>(again, "lineIPAddress")->text();
                               again->reject();
                           });
                       }
                       pressOk(dialog);
                       if (!dialog->isVisible()) return;
                       note = field<QLabel>(dialog, "problemLabel")->text();
                       dialog->reject();
                   });
        const QString shown = drops ? boxes.lastText("Add Peer") : note;
        EXPECT_TRUE(shown.startsWith(c.reason)) << c.what << ": " << shown.toStdString();
        EXPECT_EQ(reopened, drops ? c.entry[1] : "") << c.what;
    }
    session->reconnectIPC();
    ASSERT_TRUE(wait_processing_events([&] { return session->state() == IQEndpointClient::READY; }));
    syncWith(*session);
    EXPECT_TRUE(recorded("addPeer").empty() && recorded("setPeerSettings").empty());
}

// Every change the operator can ask a codec for from the menus and the dock, refused: the notice
// names the codec, what was asked in the operator's words (never the request's) and the codec's.
TEST_F(PeerDialogsTest, EveryRefusedRequestIsToldInTheOperatorsWords) {
    MessageBoxRecorder boxes;  // says Yes to the removals' questions and keeps the notices
    const char* const refused[] = {"addPeer",     "setPeerSettings", "addProfile",    "setProfile",
                                   "copyProfile", "removePeer",      "deleteProfile", "connect",
                                   "disconnect",  "monitor",         "getEventLog"};
    CodecSimOptions refusing;
    refusing.count = 2;
    refusing.refused_requests = {std::begin(refused), std::end(refused)};
    const std::vector<uint16_t> ports = startFleet(refusing).ports();
    IPCObject* target = addCodec(ports[0]);
    IPCObject* session = selectReadyCodec(ports[1]);  // in a call
    ASSERT_TRUE(wait_processing_events([&] { return target->state() == IQEndpointClient::READY; }));
    enum class Pick { kNothing, kIdlePeer, kPeerInCall, kProfile };
    const auto addRadioNord = [](QDialog* dialog) {
        fill(dialog, {"Radio Nord 2", "10.1.1.9", "", ""});
        pressOk(dialog);
    };
    const auto toTheOther = [](QDialog* dialog) {
        tickRows(dialog);
        pressOk(dialog);
    };
    const char* const kLevelsGone = "; this window has stopped showing its levels all the same";
    const char* const kLevelsShown = "; this window shows whatever levels it sends all the same";
    const struct {
        Pick pick;
        const char* press;  // an action, a button, or the event log's "Reset"
        std::function<void(QDialog*)> dialog;
        bool isOther;           // the notice names the codec copied to
        const char* told;       // %1: the name of what was picked
        const char* also = "";  // what the window did all the same
    } cases[] = {
        {Pick::kNothing, "actionAddEntry", addRadioNord, false, "refused to add the peer \"Radio Nord 2\""},
        {Pick::kIdlePeer, "actionEditEntry", pressOk, false, "refused to change the peer \"%1\""},
        {Pick::kIdlePeer, "connectButton", {}, false, "refused to connect the peer \"%1\""},  // its own profile
        {Pick::kPeerInCall, "disconnectButton", {}, false, "refused to disconnect the peer \"%1\""},
        {Pick::kNothing, "actionDisconnect", {}, false, "refused to disconnect every peer"},
        {Pick::kIdlePeer, "actionRemoveEntry", {}, false, "refused to remove the peer \"%1\""},
        {Pick::kIdlePeer, "actionSendPeer", toTheOther, true, "refused to add the peer \"%1\""},
        {Pick::kIdlePeer, "actionAssignProfile", {}, false, "refused to change the peer \"%1\""},
        {Pick::kProfile, "actionCopyProfile", {}, false, "refused to copy the profile \"%1\""},
        {Pick::kProfile, "actionSetDefaultProfile", {}, false, "refused to save the profile \"%1\""},
        {Pick::kProfile, "actionRemoveProfile", {}, false, "refused to remove the profile \"%1\""},
        {Pick::kProfile, "actionSendProfile", toTheOther, true, "refused to copy a profile"},
        {Pick::kNothing, "actionDisableMetering", {}, false, "refused to switch its level meters off", kLevelsGone},
        {Pick::kNothing, "actionEnableMetering", {}, false, "refused to switch its level meters on", kLevelsShown},
        {Pick::kNothing, "Reset", {}, false, "refused to clear its event log"},
    };
    const auto pick = [&](Pick what) {
        const auto isWanted = [what](const PeerMeta& peer) { return peer.active == (what == Pick::kPeerInCall); };
        if (what == Pick::kNothing) return QString();
        if (what != Pick::kProfile) return selectBookPeer(*session, isWanted)->name;
        selectRow(profileList(), kProfileFactoryRole, false);
        return profileList()->currentItem()->data(kProfileNameRole).toString();
    };
    const auto press = [this](const char* name) {  // as an operator would: once the selection enabled it
        QAbstractButton* button = QLatin1String(name) == QLatin1String("Reset")
                                      ? child<QDialogButtonBox>("logButtonBox")->button(QDialogButtonBox::Reset)
                                      : child<QPushButton>(name);
        auto* action = window->findChild<QAction*>(QLatin1String(name));
        ASSERT_TRUE(wait_processing_events([&] { return action ? action->isEnabled() : button->isEnabled(); })) << name;
        action ? action->trigger() : button->click();
    };
    const auto noticeLines = [&] { return boxes.lines("Changes Refused"); };
    for (const auto& c : cases) {
        const QString picked = pick(c.pick);
        c.dialog ? withDialog([&] { press(c.press); }, c.dialog) : press(c.press);
        IPCObject* told = c.isOther ? target : session;
        const QString line = QStringLiteral("%1 (127.0.0.1:%2) ").arg(told->unitName()).arg(told->port) +
                             QString(c.told).arg(picked) + ": Refused by codec-sim (error 409)" + c.also;
        EXPECT_TRUE(wait_processing_events([&] { return noticeLines().contains(line); }))
            << c.press << ": " << noticeLines().join('\n').toStdString();
    }
    for (const QString name : refused)  // the wire's names; "connect" and "disconnect" are the operator's too
        EXPECT_TRUE(name.endsWith("connect") || !noticeLines().join('\n').contains(name)) << name.toStdString();
}

// A booked call through the real window: the operator books a peer, and renames it with Edit Peer
// while the call the booking made is up. The booking follows its peer and ends the call on time.
TEST_F(PeerDialogsTest, ABookedCallEndsOnTimeThoughItsPeerIsRenamed) {
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    const PeerMetaPtr peer = selectBookPeer(*session, [](const PeerMeta& listed) { return !listed.active; });
    ASSERT_NE(peer, nullptr);
    QDateTime now(QDate(2030, 5, 6), QTime(12, 0));
    scheduler().setClock([&now] { return now; });
    const std::shared_ptr<void> real_clock_again(nullptr, [](void*) { scheduler().setClock(nullptr); });
    const auto tickAt = [&](int minute) {
        now = QDateTime(QDate(2030, 5, 6), QTime(12, minute));
        scheduler().tick();
    };
    const auto isUp = [&] {
        std::lock_guard<SessionMutex> lock(session->mutex());
        return session->activePeerIds.contains(peer->id.toInt());
    };

    withDialog([&] { child<QAction>("actionScheduleSelectedConnection")->trigger(); },
               [&](QDialog* dialog) {
                   auto* job_dialog = qobject_cast<JobDialog*>(dialog);
                   ASSERT_NE(job_dialog, nullptr);
                   EXPECT_EQ(job_dialog->targetPeerName(), peer->name);
                   job_dialog->setStartDateTime(QDateTime(QDate(2030, 5, 6), QTime(12, 1)));
                   job_dialog->setEndDateTime(QDateTime(QDate(2030, 5, 6), QTime(12, 3)));
                   pressOk(dialog);
               });
    ASSERT_EQ(scheduler().jobCount(), 1);
    tickAt(1);
    ASSERT_TRUE(wait_processing_events(isUp));
    tickAt(2);
    ASSERT_EQ(scheduler().jobList().front().state, Job::Running);

    selectBookPeer(*session, [&](const PeerMeta& listed) { return listed.id == peer->id; });
    withDialog([&] { dock().editPeer(); },
               [](QDialog* dialog) {
                   field<QLineEdit>(dialog, "lineName")->setText("Renamed North");
                   pressOk(dialog);
               });
    ASSERT_TRUE(wait_processing_events([&] { return scheduler().jobList().front().peer_name == "Renamed North"; }));
    EXPECT_TRUE(isUp());

    tickAt(3);
    const std::vector<app_test::RecordedFrame> disconnects = waitForFrames("disconnect", 1);
    ASSERT_EQ(disconnects.size(), 1u);
    EXPECT_EQ(disconnects[0].xml, "<disconnect id=\"" + peer->id.toStdString() + "\"/>");
    ASSERT_TRUE(wait_processing_events([&] { return !isUp(); }));
    tickAt(4);
    EXPECT_EQ(scheduler().jobList().front().state, Job::Done);
}

}  // namespace
