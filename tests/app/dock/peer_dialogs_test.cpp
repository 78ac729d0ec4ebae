// The dock's peer dialogs against codec-sim: adding, editing and connecting peers, copying a profile
// and a peer to other codecs, bad input, refusals, and codecs that go while a dialog is open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include <functional>
#include <mutex>

#include "app/dock/peer_items.h"
#include "app/dock/profile_list_panel.h"
#include "tests/app/dock/dock_fixture.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/modal_dialog.h"

namespace {

using app_test::RecordedFrame;
using test_support::wait_processing_events;

struct Entry {
    const char* name;
    const char* addr;
    const char* password;
    bool bdlink;
    const char* unit;
};

template <typename T>
T* field(QDialog* dialog, const char* name) {
    return dialog->findChild<T*>(QString::fromLatin1(name));
}

void fill(QDialog* entry, const Entry& values) {
    field<QLineEdit>(entry, "lineName")->setText(values.name);
    field<QLineEdit>(entry, "lineIPAddress")->setText(values.addr);
    field<QLineEdit>(entry, "linePassword")->setText(values.password);
    field<QCheckBox>(entry, "braidlinkEnableCheckBox")->setChecked(values.bdlink);
    field<QLineEdit>(entry, "macAddressLineEdit")->setText(values.unit);
}

void pressOk(QDialog* dialog) {
    if (auto* box = field<QDialogButtonBox>(dialog, "buttonBox")) return box->button(QDialogButtonBox::Ok)->click();
    field<QPushButton>(dialog, "buttonOK")->click();
}

std::string attribute(const RecordedFrame& frame, const char* name) {
    return frame.message.attributes().get_string(name, "(none)");
}

class PeerDialogsTest : public app_test::DockFixture {
protected:
    // Runs `open` and, inside it, `act` on the dialog it opens; no dialog is left afterwards.
    void withDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& act) {
        bool is_shown = false;
        test_support::on_next_modal([&](QDialog* dialog) {
            is_shown = true;
            act(dialog);
        });
        open();
        EXPECT_TRUE(is_shown);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            EXPECT_TRUE(!qobject_cast<QDialog*>(top) || qobject_cast<QMessageBox*>(top)) << top->windowTitle().toStdString();
        }
    }
    void selectPeer(const QString& id) {
        for (int row = 0; row < peerTree()->topLevelItemCount(); ++row) {
            if (peerTree()->topLevelItem(row)->data(0, kPeerIdRole) == id) peerTree()->setCurrentItem(peerTree()->topLevelItem(row));
        }
    }
    // The first address-book peer of `session` that `wanted` takes; null when none does.
    PeerMetaPtr bookPeer(IPCObject& session, const std::function<bool(const PeerMeta&)>& wanted) {
        std::lock_guard<SessionMutex> lock(session.mutex());
        for (const PeerMetaPtr& peer : session.bookPeers) {
            if (wanted(*peer)) return peer;
        }
        return nullptr;
    }
    void selectProfile(int role, const QVariant& value) {
        for (int row = 0; row < profileList()->count(); ++row) {
            if (profileList()->item(row)->data(role) == value) profileList()->setCurrentRow(row);
        }
    }
    static void tickRows(QDialog* send) {
        auto* list = field<QListWidget>(send, "deviceList");
        for (int row = 0; row < list->count(); ++row) list->item(row)->setCheckState(Qt::Checked);
    }
};

// A ticked Braidlink adds "use_bdlink" and "unit", an unticked one neither; editing only the name
// sends the codec's full address back, port included, and the codec's lists show both.
TEST_F(PeerDialogsTest, AddsAndEditsPeers) {
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    const std::vector<std::string> plain = {"addr", "name", "password", "seq"};
    const std::vector<std::string> braidlink = {"addr", "name", "password", "seq", "unit", "use_bdlink"};
    const struct {
        Entry entry;
        std::vector<std::string> keys;
    } adds[] = {{{"Desk 9", "10.1.1.9", "pw9", true, "00:11:22:33:44:55"}, braidlink},
                {{"Desk 10", "10.1.1.10", "pw10", false, "00:11:22:33:44:55"}, plain}};
    for (size_t i = 0; i < std::size(adds); ++i) {
        withDialog([&] { dock().addNewPeer(); }, [&](QDialog* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Add a remote Peer");
            fill(dialog, adds[i].entry);
            pressOk(dialog);
        });
        const RecordedFrame sent = waitForFrames("addPeer", i + 1)[i];
        EXPECT_EQ(sent.message.attributes().keys(), adds[i].keys);
        EXPECT_EQ(attribute(sent, "name") + attribute(sent, "password"), std::string(adds[i].entry.name) + adds[i].entry.password);
    }
    EXPECT_TRUE(wait_processing_events([&] {
        return bookPeer(*session, [](const PeerMeta& peer) { return peer.name == "Desk 9" && peer.bdlink; }) &&
               bookPeer(*session, [](const PeerMeta& peer) { return peer.name == "Desk 10" && !peer.bdlink; });
    }));

    const PeerMetaPtr peer = bookPeer(*session, [](const PeerMeta&) { return true; });
    Message original;
    ASSERT_TRUE(session->findPeer(peer->id, original));
    selectPeer(peer->id);
    withDialog([&] { dock().editPeer(); }, [&](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Edit peer");
        field<QLineEdit>(dialog, "lineName")->setText("Renamed");
        pressOk(dialog);
    });
    const RecordedFrame edit = waitForFrames("setPeerSettings", 1)[0];
    EXPECT_EQ(attribute(edit, "addr"), original.attributes().get_string("addr", ""));
    EXPECT_EQ(attribute(edit, "addr").substr(attribute(edit, "addr").size() - 5), ":9000");
    EXPECT_EQ(attribute(edit, "name") + attribute(edit, "seq") + attribute(edit, "id") + attribute(edit, "bdlink"),
              "RenamedsetPeerSettings" + peer->id.toStdString() + "false");
    EXPECT_EQ(attribute(edit, "password"), original.attributes().get_string("pw", ""));
    EXPECT_TRUE(wait_processing_events([&] { return peerTree()->findItems("Renamed", Qt::MatchExactly).size() == 1; }));
}

// On a codec of the old protocol Braidlink is not offered: the request has neither of its fields.
TEST_F(PeerDialogsTest, ALegacyCodecLocksBraidlink) {
    selectReadyCodec(startFleet(1, CodecSimMode::kLegacy).ports()[0]);
    withDialog([&] { dock().addNewPeer(); }, [&](QDialog* dialog) {
        EXPECT_FALSE(field<QCheckBox>(dialog, "braidlinkEnableCheckBox")->isEnabled());
        EXPECT_FALSE(field<QLineEdit>(dialog, "macAddressLineEdit")->isEnabled());
        field<QLineEdit>(dialog, "lineIPAddress")->setText("10.1.1.9");
        pressOk(dialog);
    });
    EXPECT_EQ(waitForFrames("addPeer", 1)[0].message.attributes().keys(),
              (std::vector<std::string>{"addr", "name", "password", "seq"}));
}

// "Connection setup" with a profile other than the peer's: the profile is assigned, then connected.
TEST_F(PeerDialogsTest, ConnectsWithAnotherProfile) {
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    const PeerMetaPtr peer = bookPeer(*session, [](const PeerMeta& each) { return !each.active && each.profile == 0; });
    ASSERT_NE(peer, nullptr);
    QString profile;
    {
        std::lock_guard<SessionMutex> lock(session->mutex());
        for (const ProfileInfo& each : session->profiles) profile = each.isDefault ? profile : each.id;
    }
    withDialog([&] { dock().showConnectDialog(); }, [&](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Connection setup");
        for (const auto& [list, role, id] : {std::make_tuple("peerList", kPeerIdRole, peer->id),
                                             std::make_tuple("profileList", kProfileIdRole, profile)}) {
            auto* rows = field<QListWidget>(dialog, list);
            for (int row = 0; row < rows->count(); ++row) {
                if (rows->item(row)->data(role) == id) rows->setCurrentRow(row);
            }
        }
        pressOk(dialog);
    });
    const RecordedFrame connect = waitForFrames("connect", 1)[0];
    const RecordedFrame assign = waitForFrames("setPeerSettings", 1)[0];
    EXPECT_LT(assign.line, connect.line);
    EXPECT_EQ(attribute(assign, "id") + "/" + attribute(assign, "profile") + " " + attribute(connect, "id"),
              (peer->id + "/" + profile + " " + peer->id).toStdString());
}

// The source's default profile reaches two codecs under the ids they give it, and stays out of their
// defaults; a peer goes with its password and Braidlink flag.
TEST_F(PeerDialogsTest, CopiesAProfileAndAPeerToOtherCodecs) {
    const std::vector<uint16_t> ports = startFleet(3).ports();
    IPCObject* targets[] = {addCodec(ports[0]), addCodec(ports[1])};
    // Its default profile is not a factory one, and uses a channel every codec has.
    IPCObject* source = selectReadyCodec(ports[2]);
    QString defaults[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(wait_processing_events([&] { return targets[i]->state() == IQEndpointClient::READY; }));
        defaults[i] = targets[i]->defaultProfileId;
    }
    selectProfile(kProfileDefaultRole, true);
    const QString name = profileList()->currentItem()->data(kProfileNameRole).toString();
    withDialog([&] { dock().sendProfileTriggered(); }, [&](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Copy Profile to...");
        tickRows(dialog);
        pressOk(dialog);
    });
    EXPECT_EQ(waitForFrames("addProfile", 2).size(), 2u);
    const std::vector<RecordedFrame> writes = waitForFrames("setProfile", 2);
    for (const RecordedFrame& write : writes) {
        IPCObject* target = targets[write.port == ports[0] ? 0 : 1];
        EXPECT_EQ(attribute(write, "default"), "(none)");
        EXPECT_TRUE(wait_processing_events([&] {
            std::lock_guard<SessionMutex> lock(target->mutex());
            for (const ProfileInfo& each : target->profiles) {
                if (each.id.toStdString() == attribute(write, "id")) return each.name == name;
            }
            return false;
        }));
        EXPECT_EQ(target->defaultProfileId, defaults[target == targets[0] ? 0 : 1]);
    }

    const PeerMetaPtr peer = bookPeer(*source, [](const PeerMeta& each) { return each.bdlink; });
    selectPeer(peer->id);
    withDialog([&] { dock().sendPeerTriggered(); }, [&](QDialog* dialog) {
        field<QListWidget>(dialog, "deviceList")->item(0)->setCheckState(Qt::Checked);
        pressOk(dialog);
    });
    const RecordedFrame copy = waitForFrames("addPeer", 1)[0];
    EXPECT_EQ(attribute(copy, "password") + attribute(copy, "use_bdlink") + attribute(copy, "unit") + attribute(copy, "seq"),
              (peer->password + "true" + peer->unit + "addPeer").toStdString());
    IPCObject* target = targets[copy.port == ports[0] ? 0 : 1];
    EXPECT_TRUE(wait_processing_events([&] {
        return bookPeer(*target, [&](const PeerMeta& each) { return each.name == peer->name && each.bdlink; }) != nullptr;
    }));
}

// What the codec could not take says why; the entry dialog stays, or opens again with what was
// typed; nothing reaches the codec.
TEST_F(PeerDialogsTest, BadInputSendsNothing) {
    MessageBoxRecorder boxes;
    IPCObject* session = selectReadyCodec(startFleet(1).ports()[0]);
    selectPeer(bookPeer(*session, [](const PeerMeta&) { return true; })->id);
    const struct {
        const char* what;
        bool isEdit;
        Entry entry;
        const char* reason;  // of the dialog's note, or of the box for a dropped codec
    } cases[] = {
        {"a blank address", false, {"A", " ", "", false, ""}, "Enter the peer's \"IP Address\"."},
        {"Braidlink without MAC", false, {"A", "", "", true, " "}, "\"Use Braidlink\" needs the remote unit's"},
        {"a blank name on edit", true, {"", "10.0.0.1", "", false, ""}, "Enter a \"Name\" for the peer."},
        {"a control character", true, {"A", "10.0.0.1", "p\x01", false, ""}, "\"Connection Password\" must be text"},
        {"the codec dropped before OK", false, {"A", "10.0.0.1", "", false, ""}, "Nothing was sent: the codec is not"},
    };
    for (const auto& c : cases) {
        QString note;
        QString reopened;
        withDialog([&] { c.isEdit ? dock().editPeer() : dock().addNewPeer(); }, [&](QDialog* dialog) {
            fill(dialog, c.entry);
            if (&c == &cases[4]) {
                session->disconnectIPC();
                ASSERT_TRUE(wait_processing_events([&] { return session->state() != IQEndpointClient::READY; }));
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
        const QString shown = reopened.isEmpty() ? note : boxes.lastText("Add a remote Peer");
        EXPECT_TRUE(shown.startsWith(c.reason)) << c.what << ": " << shown.toStdString();
        EXPECT_EQ(reopened, &c == &cases[4] ? c.entry.addr : "") << c.what;
    }
    session->reconnectIPC();
    ASSERT_TRUE(wait_processing_events([&] { return session->state() == IQEndpointClient::READY; }));
    syncWith(*session);
    EXPECT_TRUE(recorded("addPeer").empty() && recorded("setPeerSettings").empty());
}

// The notice names the codec, the request and the codec's words for each refusal.
TEST_F(PeerDialogsTest, RefusalsAreNamed) {
    MessageBox::setHandler({});  // the notice opens for real: it is not modal, nothing waits on it
    CodecSimOptions refusing;
    refusing.count = 2;
    refusing.refused_requests = {"addPeer", "setPeerSettings", "addProfile"};
    const std::vector<uint16_t> ports = startFleetWith(refusing).ports();
    IPCObject* target = addCodec(ports[1]);
    IPCObject* session = selectReadyCodec(ports[0]);
    ASSERT_TRUE(wait_processing_events([&] { return target->state() == IQEndpointClient::READY; }));
    withDialog([&] { dock().addNewPeer(); }, [&](QDialog* dialog) {
        field<QLineEdit>(dialog, "lineIPAddress")->setText("10.1.1.9");
        pressOk(dialog);
    });
    selectPeer(bookPeer(*session, [](const PeerMeta&) { return true; })->id);
    withDialog([&] { dock().editPeer(); }, pressOk);
    selectProfile(kProfileFactoryRole, false);
    withDialog([&] { dock().sendProfileTriggered(); }, [](QDialog* dialog) {
        tickRows(dialog);
        pressOk(dialog);
    });
    const auto notice = [this] {
        QMessageBox* box = window->findChild<QMessageBox*>();
        return box && box->isVisible() ? box->text() : QString();
    };
    EXPECT_TRUE(wait_processing_events([&] { return notice().count("Refused by codec-sim") == 3; }))
        << notice().toStdString();
    for (const QString& line : QStringList{session->unitName() + " (127.0.0.1:" + QString::number(ports[0]) + ") refused addPeer",
                                           "refused setPeerSettings",
                                           target->unitName() + " (127.0.0.1:" + QString::number(ports[1]) + ") refused addProfile"}) {
        EXPECT_TRUE(notice().contains(line)) << line.toStdString();
    }
}

// A copy target that stops while the dialog is open gets nothing, and the box names it.
TEST_F(PeerDialogsTest, ACopyTargetThatStopsIsNamed) {
    MessageBoxRecorder boxes;
    IPCObject* source = selectReadyCodec(startFleet(1).ports()[0]);
    IPCObject* target = addCodec(startFleet(1).ports()[0]);
    ASSERT_TRUE(wait_processing_events([&] { return target->state() == IQEndpointClient::READY; }));
    const QString label = target->unitName() + " : 127.0.0.1:" + QString::number(fleets[1]->ports()[0]);
    selectPeer(bookPeer(*source, [](const PeerMeta&) { return true; })->id);
    withDialog([&] { dock().sendPeerTriggered(); }, [&](QDialog* dialog) {
        tickRows(dialog);
        fleets[1].reset();
        ASSERT_TRUE(wait_processing_events([&] { return target->state() != IQEndpointClient::READY; }));
        pressOk(dialog);
    });
    EXPECT_TRUE(boxes.lastText("Copy Peer to...").endsWith("\n" + label)) << boxes.lastText("Copy Peer to...").toStdString();
    EXPECT_TRUE(recorded("addPeer", 1).empty());
}

}  // namespace
