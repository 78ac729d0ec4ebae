#include "app/dock/connection_dialog.h"

#include <QDialogButtonBox>
#include <QListWidget>

#include <mutex>
#include <stdexcept>

#include "app/dock/peer_items.h"
#include "app/dock/profile_list_panel.h"
#include "app/shared/codec_text.h"
#include "sessions/ipc_object.h"
#include "ui_connection_dialog.h"

namespace {

// The data under `role` of the one selected row; empty without exactly one.
QString selectedData(const QListWidget& list, int role) {
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.size() == 1 ? selected.first()->data(role).toString() : QString();
}

}  // namespace

ConnectionDialog::ConnectionDialog(QWidget* parent) : QDialog(parent), ui(new Ui::ConnectionDialog) {
    ui->setupUi(this);
    setWindowTitle(tr("Connection setup"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->problemLabel->hide();
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ConnectionDialog::checkAndAccept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->peerList, &QListWidget::itemSelectionChanged, ui->problemLabel, &QLabel::hide);
}

ConnectionDialog::~ConnectionDialog() = default;

void ConnectionDialog::connectInstance(IPCObject* followed) {
    session = followed;
    connect(followed, &IPCObject::recvPeerList, this, &ConnectionDialog::ipcPeerListUpdate);
    connect(followed, &IPCObject::recvProfileList, this, &ConnectionDialog::ipcProfileListUpdate);
}

void ConnectionDialog::refillPeerList(const QList<PeerMetaPtr>& bookPeers, const QList<PeerMetaPtr>& directoryPeers) {
    ui->peerList->clear();
    for (const PeerMetaPtr& peer : bookPeers) {
        const QString text = QStringLiteral("%1 (%2)").arg(CodecText::name(peer->name), CodecText::name(peer->addr));
        auto* item = new QListWidgetItem(text, ui->peerList);
        item->setData(kPeerAddressRole, peer->addr);
        item->setData(kPeerIdRole, peer->id);
        item->setData(kPeerDirectoryRole, false);
    }
    for (const PeerMetaPtr& peer : directoryPeers) {
        setPeerListItemData(new QListWidgetItem(ui->peerList), peer.get());
    }
}

void ConnectionDialog::refillProfileList(const QList<ProfileInfo>& profiles) {
    ui->profileList->clear();
    for (const ProfileInfo& profile : profiles) {
        auto* item = new QListWidgetItem(CodecText::name(profile.name), ui->profileList);
        item->setData(kProfileNameRole, profile.name);
        item->setData(kProfileIdRole, profile.id);
    }
}

QString ConnectionDialog::selectedPeerId() const {
    return selectedData(*ui->peerList, kPeerIdRole);
}

QString ConnectionDialog::selectedProfile() const {
    return selectedData(*ui->profileList, kProfileIdRole);
}

QString ConnectionDialog::selectedPeerData() const {
    return selectedData(*ui->peerList, kPeerAddressRole);
}

QString ConnectionDialog::selectedProfileData() const {
    return selectedData(*ui->profileList, kProfileNameRole);
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
    if (!selectedPeerId().isEmpty()) {
        accept();
        return;
    }
    ui->problemLabel->setText(tr("Select the peer to connect."));
    ui->problemLabel->show();
}
