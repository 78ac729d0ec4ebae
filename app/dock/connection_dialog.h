#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>

#include "sessions/peer_meta.h"
#include "sessions/profile_info.h"
#include "text/lost_choice.h"

class IPCObject;
class QListWidget;
class SentRenames;

namespace Ui {
class ConnectionDialog;
}

// "Connection setup": the operator picks one of the codec's peers (its address-book peers, then
// those its directory server knows, each block in the codec's order) and one of its profiles for a
// new connection. A line at the top names the codec as the fleet does. While it lives it follows
// the codec: each new peer or profile list rebuilds that list. The choice there stays while the
// rebuilt list holds a row of the same id by the same name (and address, for a peer), or the
// rename this program sent for it; when it has none, a line says what became of it and OK is
// refused until the operator chooses in that list again. OK needs a peer; without a profile the
// peer keeps its own. The dialog sends nothing: the caller reads the choice as two id texts.
// GUI thread only; the session's lists are copied under its mutex.
class ConnectionDialog : public QDialog {
    Q_OBJECT

public:
    explicit ConnectionDialog(QWidget* parent = nullptr);
    ~ConnectionDialog() override;

    // Names `session` at the top and follows its name, peer and profile lists from now on; fills
    // no list yet.
    void connectInstance(IPCObject* session);
    void refillPeerList(const QList<PeerMetaPtr>& bookPeers, const QList<PeerMetaPtr>& directoryPeers);
    void refillProfileList(const QList<ProfileInfo>& profiles);

    // The chosen peer's and profile's ids; empty without exactly one selected row.
    QString selectedPeerId() const;
    QString selectedProfile() const;
    // The chosen address-book peer's address (empty for a directory peer) and the chosen profile's
    // name; empty without exactly one selected row.
    QString selectedPeerData() const;
    QString selectedProfileData() const;
    // The chosen peer's type: 0 for an address-book peer, 1 for a directory peer. Throws
    // std::logic_error without exactly one selected peer.
    int selectedPeerType() const;

public slots:
    // Stops following the session: cuts every connection from it to this dialog.
    void dialogFinished(int result);
    // Refill from the followed session; the key is not looked at.
    void ipcPeerListUpdate(QUuid key);
    void ipcProfileListUpdate(QUuid key);

private slots:
    void checkAndAccept();

private:
    // Selects the row of `list` that stands for `chosen` (a row's identity) again, or for the
    // rename `sent` holds for it; when none does, returns what became of the choice. Nothing
    // chosen: nothing happens.
    static std::optional<LostChoice> reselect(QListWidget& list, const QStringList& chosen, LostChoice::Kind kind,
                                              const SentRenames* sent);
    // The lines naming lost choices, or none.
    void showLostChoices();
    void showCodecName();

    std::unique_ptr<Ui::ConnectionDialog> ui;
    QPointer<IPCObject> session;  // followed; not owned
    // A chosen peer and profile that a rebuild no longer holds; none while the operator's choice
    // stands.
    std::optional<LostChoice> lostPeer;
    std::optional<LostChoice> lostProfile;
};
