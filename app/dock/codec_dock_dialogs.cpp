// CodecDock's commands that run a dialog: the peer dialogs (Add Peer, Edit Peer, Connect), the
// copies of a peer or a profile sent to other codecs, the profile editor and Remove Profile's
// question. Each copies what it needs before its dialog runs and looks the codec up by key
// afterwards: while the operator types, the codec may go, drop, or give the id to another peer or
// profile, and nothing that could not be sent goes unsaid.
#include "app/dock/codec_dock.h"

#include <QIcon>
#include <QListWidget>
#include <QTreeWidget>

#include "app/dock/connection_dialog.h"
#include "app/dock/peer_items.h"
#include "app/shell/instance_registry.h"
#include "dialogs/add_entry.h"
#include "dialogs/message_box.h"
#include "dialogs/profile_edit.h"
#include "dialogs/send_dialog.h"
#include "ipc/message/message.h"
#include "sessions/ipc_object.h"
#include "sessions/session_requests.h"
#include "text/codec_text.h"
#include "text/message_lookup.h"
#include "ui_main_window.h"

namespace {

// The profile's name as the codec keeps it; empty when it has none.
QString profileName(const Message& profile) {
    const Message* settings = firstChild(profile, "settings");
    return settings ? attributeText(*settings, "name") : QString();
}

// Whether the codec still lists the profile `id` by the name `name`: a codec that restarted, or
// removed it, may have given that id to another profile since.
bool holdsProfile(IPCObject& session, const QString& id, const QString& name) {
    Message now;
    return session.findProfile(id, now) && profileName(now) == name;
}

// The same for `opened`, the profile an editor opened.
bool holdsProfile(IPCObject& session, const Message& opened) {
    return holdsProfile(session, attributeText(opened, "id"), profileName(opened));
}

// The same for a peer, by its name and address.
bool holdsPeer(IPCObject& session, const Message& opened) {
    Message now;
    return session.findPeer(attributeText(opened, "id"), now) &&
           attributeText(now, "name") == attributeText(opened, "name") &&
           attributeText(now, "addr") == attributeText(opened, "addr");
}

}  // namespace

// ------------------------------------------------------------------------------------------------
// The peer dialogs

std::optional<int> CodecDock::selectedPeerElement(const char* command, Message& peer) const {
    const std::optional<int> id = selectedPeerId(command);
    if (!id || !shown || !shown->findPeer(peers.selectedPeerItem()->data(0, kPeerIdRole).toString(), peer)) {
        return std::nullopt;
    }
    return id;
}

void CodecDock::addNewPeer() {
    if (!shown) return;
    AddEntry dialog;
    dialog.setModal(true);
    dialog.setWindowTitle(tr("Add Peer"));
    dialog.setWindowIcon(QIcon(QStringLiteral(":/icons/add.svg")));
    if (!shown->takesSubscriptions()) dialog.lockIdentity();
    // "use_bdlink" goes only when Braidlink was offered and ticked: the codec takes it as true.
    runEntryDialog(dialog, shown->uuid, [&dialog](IPCObject& session) {
        if (dialog.usesBraidlink()) {
            return session.cmd_add_peer_bdlink(dialog.name(), dialog.address(), dialog.password(), dialog.unit());
        }
        return session.cmd_add_peer(dialog.name(), dialog.address(), dialog.password());
    });
}

void CodecDock::editPeer() {
    Message peer;
    const std::optional<int> id = selectedPeerElement("setPeerSettings", peer);
    if (!id) return;
    AddEntry dialog;
    dialog.setModal(true);
    dialog.setWindowTitle(tr("Edit Peer"));
    dialog.setWindowIcon(QIcon(QStringLiteral(":/icons/edit.svg")));
    // From the codec's own element: the peer records keep only the host of its address.
    dialog.setEntry(peer);
    if (!shown->takesSubscriptions()) dialog.lockIdentity();
    runEntryDialog(
        dialog, shown->uuid,
        [&dialog, &peer, id](IPCObject& session) {
            // With its seq, which names a refusal even while a seq-less command awaits its answer.
            session_requests::AskedRequest edit(session_requests::kSetPeerSettings);
            Message::Attributes& a = edit.attributes();
            a.set("id", *id);
            a.set("addr", dialog.address());
            a.set("name", dialog.name());
            a.set("password", dialog.password());
            a.set("unit", dialog.unit());
            a.set("bdlink", dialog.isBraidlinkTicked());
            if (!session.send_all_if_ready({edit})) return false;
            // Whoever holds this peer as chosen follows it to the name and address it is given here.
            Message renamed = peer;
            renamed.attributes().set("name", dialog.name());
            renamed.attributes().set("addr", dialog.address());
            session.sentPeerRenames.note(PeerMeta(peer).identity(), PeerMeta(renamed).identity());
            return true;
        },
        [&peer](IPCObject& session) {
            return holdsPeer(session, peer)
                       ? QString()
                       : tr("Nothing was sent: the codec no longer has this peer, or has given its id "
                            "to another. Your entry is kept.");
        });
}

void CodecDock::runEntryDialog(AddEntry& dialog, const QUuid& key, const std::function<bool(IPCObject&)>& send,
                               const std::function<QString(IPCObject&)>& whyNot) {
    while (dialog.exec() == QDialog::Accepted) {
        IPCObject* session = findInstance(key);
        if (!session || session != shown) {
            MessageBox::warning(&window, dialog.windowTitle(),
                                tr("Nothing was sent: the codec is no longer the one shown."));
            return;
        }
        const QString problem = whyNot ? whyNot(*session) : QString();
        if (problem.isEmpty() && send(*session)) return;
        MessageBox::warning(&window, dialog.windowTitle(),
                            problem.isEmpty() ? tr("Nothing was sent: the codec is not connected. Your entry is kept.")
                                              : problem);
    }
}

void CodecDock::showConnectDialog() {
    if (!shown) return;
    const QUuid key = shown->uuid;
    ConnectionDialog dialog(&window);
    dialog.connectInstance(shown);
    dialog.ipcPeerListUpdate(key);
    dialog.ipcProfileListUpdate(key);
    if (dialog.exec() != QDialog::Accepted) return;
    IPCObject* session = findInstance(key);
    if (session && session->cmd_connect_peer(dialog.selectedPeerId(), dialog.selectedProfile())) return;
    MessageBox::warning(&window, dialog.windowTitle(),
                        tr("Nothing was sent: the codec is not connected, or no longer has that peer."));
}

void CodecDock::sendProfileTriggered() {
    const QListWidgetItem* item = profiles.selectedProfileItem();
    Message profile;
    if (!shown || !item || !shown->findProfile(item->data(kProfileIdRole).toString(), profile)) return;
    // A copy never becomes the target's default profile.
    profile.attributes().remove("default");
    sendToOtherCodecs(ui.actionSendProfile->text(),
                      tr("The profile \"%1\" goes to the codecs you tick.").arg(shownName(profileName(profile))),
                      SendDialog::Copy::Profile,
                      [&profile](IPCObject& target) { return target.cmd_add_profile(profile); });
}

void CodecDock::sendPeerTriggered() {
    Message peer;
    if (!selectedPeerElement("addPeer", peer)) return;
    sendToOtherCodecs(ui.actionSendPeer->text(),
                      tr("The peer \"%1\" goes to the codecs you tick.").arg(shownName(attributeText(peer, "name"))),
                      SendDialog::Copy::Peer, [&peer](IPCObject& target) { return target.cmd_add_peer_meta(peer); });
}

void CodecDock::sendToOtherCodecs(const QString& title, const QString& copied, SendDialog::Copy copy,
                                  const std::function<bool(IPCObject&)>& send) {
    SendDialog dialog;
    dialog.setWindowTitle(title);
    dialog.setCopied(copied);
    QList<IPCObject*> others = instanceMap.values();
    others.removeAll(shown.data());
    dialog.setTargets(others, copy);
    if (dialog.exec() != QDialog::Accepted) return;
    QStringList missed;
    for (const SendDialog::Target& target : dialog.selectedTargets()) {
        IPCObject* session = findInstance(target.key);
        if (!session || !send(*session)) missed << target.label;
    }
    if (missed.isEmpty()) return;
    MessageBox::warning(&window, title,
                        tr("Nothing was sent to these codecs, which are gone or not connected:\n%1")
                            .arg(missed.join(QLatin1Char('\n'))));
}

// ------------------------------------------------------------------------------------------------
// The profile editor and Remove Profile

bool CodecDock::editProfile() {
    const QListWidgetItem* item = profiles.selectedProfileItem();
    Message profile;
    if (!shown || !item || !shown->findProfile(item->data(kProfileIdRole).toString(), profile)) return false;
    // The edit goes to the codec it came from, or nowhere, whatever the dock shows by then.
    const QUuid key = shown->uuid;
    profileEditor->startEdit(profile, shownCodecData());
    while (profileEditor->exec() == QDialog::Accepted) {
        IPCObject* session = findInstance(key);
        QString problem = QStringLiteral("The profile was not saved: the codec is not connected. Your changes are "
                                         "kept: save again once it is back, or cancel.");
        if (session && !holdsProfile(*session, profile)) {
            problem = QStringLiteral("The profile was not saved: the codec no longer has this profile, or has given "
                                     "its id to another. Your changes are kept.");
        } else if (session && session->cmd_set_profile(profileEditor->profile())) {
            // Whoever holds this profile as chosen follows it to the name it is given here.
            const QString id = attributeText(profile, "id");
            session->sentProfileRenames.note({id, profileName(profile)}, {id, profileName(profileEditor->profile())});
            return true;
        }
        MessageBox::warning(&window, QStringLiteral("Profile Editor"), problem);
    }
    return false;
}

ProfileCodecData CodecDock::shownCodecData() const {
    // What the codec has not sent stays empty: another codec's channels or options would be
    // shown, and written into this codec's profile.
    Message channelList;
    Message channelOpts;
    Message codecList;
    cached(QStringLiteral("channelList"), channelList);
    cached(QStringLiteral("channelOpts"), channelOpts);
    cached(QStringLiteral("codecList"), codecList);
    return ProfileCodecData(channelList, channelOpts, codecList);
}

void CodecDock::removeProfile() {
    // Taken before the question: while it is open, the codec's lists may move the selection.
    const QListWidgetItem* item = profiles.selectedProfileItem();
    const std::optional<int> id = selectedProfileId("deleteProfile");
    if (!shown || !item || !id) return;
    const QUuid key = shown->uuid;
    const QString idText = item->data(kProfileIdRole).toString();
    const QString name = item->data(kProfileNameRole).toString();
    const QString title = QStringLiteral("Remove Profile");
    if (MessageBox::question(&window, title,
                             QStringLiteral("Do you want to remove the profile \"%1\"?").arg(shownName(name)))) {
        IPCObject* session = findInstance(key);
        if (session && session->state() == IQEndpointClient::READY && holdsProfile(*session, idText, name)) {
            if (session->cmd_delete_profile(*id)) session->sentProfileRenames.noteRemoval({idText, name});
        } else {
            MessageBox::warning(&window, title,
                                QStringLiteral("Nothing was removed: the codec is not connected, or no longer has "
                                               "the profile \"%1\" under its id.")
                                    .arg(shownName(name)));
        }
    }
    emit enablesChanged();
}
