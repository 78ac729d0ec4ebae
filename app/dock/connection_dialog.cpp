#include "app/dock/connection_dialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QSignalBlocker>

#include <mutex>
#include <stdexcept>

#include "app/dock/peer_items.h"
#include "app/dock/profile_list_panel.h"
#include "app/shared/codec_text.h"
#include "sessions/ipc_object.h"
#include "text/unit_label.h"
#include "ui_connection_dialog.h"

namespace {

// What a row stands for: its id and name (and a peer's address). A rebuilt row is the one the
// operator chose only while all of these read the same: a codec may give a removed peer's or
// profile's id to a new one.
constexpr int kIdentityRole = Qt::UserRole + 1;

// The data under `role` of the one selected row; invalid without exactly one.
QVariant selectedData(const QListWidget& list, int role) {
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.size() == 1 ? selected.first()->data(role) : QVariant();
}

}  // namespace

ConnectionDialog::ConnectionDialog(QWidget* parent) : QDialog(parent), ui(new Ui::ConnectionDialog) {
    ui->setupUi(this);
    setWindowTitle(tr("Connection setup"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->problemLabel->hide();
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ConnectionDialog::checkAndAccept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The lists are rebuilt with their signals blocked: a change seen here is the operator's.
    connect(ui->peerList, &QListWidget::itemSelectionChanged, this, [this] {
        lostPeer.reset();
        showLostChoices();
    });
    connect(ui->profileList, &QListWidget::itemSelectionChanged, this, [this] {
        lostProfile.reset();
        showLostChoices();
    });
}

ConnectionDialog::~ConnectionDialog() = default;

void ConnectionDialog::connectInstance(IPCObject* followed) {
    session = followed;
    showCodecName();
    connect(followed, &IPCObject::recvSysOptions, this, &ConnectionDialog::showCodecName);
    connect(followed, &IPCObject::recvPeerList, this, &ConnectionDialog::ipcPeerListUpdate);
    connect(followed, &IPCObject::recvProfileList, this, &ConnectionDialog::ipcProfileListUpdate);
}

void ConnectionDialog::showCodecName() {
    if (session) ui->codecLabel->setText(tr("Codec: %1").arg(unitLabel(*session)));
}

void ConnectionDialog::refillPeerList(const QList<PeerMetaPtr>& bookPeers, const QList<PeerMetaPtr>& directoryPeers) {
    const QStringList chosen = selectedData(*ui->peerList, kIdentityRole).toStringList();
    const QSignalBlocker blocker(ui->peerList);
    ui->peerList->clear();
    for (const PeerMetaPtr& peer : bookPeers) {
        const QString text = QStringLiteral("%1 (%2)").arg(CodecText::name(peer->name), CodecText::name(peer->addr));
        auto* item = new QListWidgetItem(text, ui->peerList);
        item->setData(kPeerAddressRole, peer->addr);
        item->setData(kPeerIdRole, peer->id);
        item->setData(kPeerDirectoryRole, false);
        item->setData(kIdentityRole, peer->identity());
    }
    for (const PeerMetaPtr& peer : directoryPeers) {
        auto* item = new QListWidgetItem(ui->peerList);
        setPeerListItemData(item, peer.get());
        item->setData(kIdentityRole, peer->identity());
    }
    if (std::optional<LostChoice> lost =
            reselect(*ui->peerList, chosen, LostChoice::Kind::kPeer, session ? &session->sentPeerRenames : nullptr)) {
        lostPeer = lost;
    }
    showLostChoices();
}

void ConnectionDialog::refillProfileList(const QList<ProfileInfo>& profiles) {
    const QStringList chosen = selectedData(*ui->profileList, kIdentityRole).toStringList();
    const QSignalBlocker blocker(ui->profileList);
    ui->profileList->clear();
    for (const ProfileInfo& profile : profiles) {
        auto* item = new QListWidgetItem(CodecText::name(profile.name), ui->profileList);
        item->setData(kProfileNameRole, profile.name);
        item->setData(kProfileIdRole, profile.id);
        item->setData(kIdentityRole, profile.identity());
    }
    if (std::optional<LostChoice> lost = reselect(*ui->profileList, chosen, LostChoice::Kind::kProfile,
                                                  session ? &session->sentProfileRenames : nullptr)) {
        lostProfile = lost;
    }
    showLostChoices();
}

std::optional<LostChoice> ConnectionDialog::reselect(QListWidget& list, const QStringList& chosen,
                                                     LostChoice::Kind kind, const SentRenames* sent) {
    if (chosen.isEmpty()) return std::nullopt;
    QStringList listedUnderId;
    for (int row = 0; row < list.count(); ++row) {
        const QStringList listed = list.item(row)->data(kIdentityRole).toStringList();
        if (listed.value(0) != chosen.first()) continue;
        if (listed == chosen || (sent && sent->isSent(chosen, listed))) {
            list.setCurrentRow(row);
            return std::nullopt;
        }
        if (listedUnderId.isEmpty()) listedUnderId = listed;
    }
    return LostChoice{kind, chosen, listedUnderId};
}

void ConnectionDialog::showLostChoices() {
    QStringList lines;
    for (const std::optional<LostChoice>& lost : {lostPeer, lostProfile}) {
        if (lost) lines << lost->line();
    }
    ui->problemLabel->setText(lines.join(QLatin1Char('\n')));
    ui->problemLabel->setVisible(!lines.isEmpty());
}

QString ConnectionDialog::selectedPeerId() const {
    return selectedData(*ui->peerList, kPeerIdRole).toString();
}

QString ConnectionDialog::selectedProfile() const {
    return selectedData(*ui->profileList, kProfileIdRole).toString();
}

QString ConnectionDialog::selectedPeerData() const {
    return selectedData(*ui->peerList, kPeerAddressRole).toString();
}

QString ConnectionDialog::selectedProfileData() const {
    return selectedData(*ui->profileList, kProfileNameRole).toString();
}

int ConnectionDialog::selectedPeerType() const {
    const QList<QListWidgetItem*> selected = ui->peerList->selectedItems();
    if (selected.size() != 1) throw std::logic_error("peertype requested when a peer was not selected.");
    return selected.first()->data(kPeerDirectoryRole).toInt();
}

void ConnectionDialog::dialogFinished(int) {
    if (session) disconnect(session, nullptr, this, nullptr);
}

void ConnectionDialog::ipcPeerListUpdate(QUuid) {
    if (!session) return;
    QList<PeerMetaPtr> bookPeers;
    QList<PeerMetaPtr> directoryPeers;
    {
        std::lock_guard<SessionMutex> lock(session->mutex());
        bookPeers = session->bookPeers;
        directoryPeers = session->directoryPeers;
    }
    refillPeerList(bookPeers, directoryPeers);
}

void ConnectionDialog::ipcProfileListUpdate(QUuid) {
    if (!session) return;
    QList<ProfileInfo> profiles;
    {
        std::lock_guard<SessionMutex> lock(session->mutex());
        profiles = session->profiles;
    }
    refillProfileList(profiles);
}

void ConnectionDialog::checkAndAccept() {
    if (lostPeer || lostProfile) {
        showLostChoices();
        return;
    }
    if (!selectedPeerId().isEmpty()) {
        accept();
        return;
    }
    ui->problemLabel->setText(tr("Select the peer to connect."));
    ui->problemLabel->show();
}
