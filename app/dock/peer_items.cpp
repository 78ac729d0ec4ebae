#include "app/dock/peer_items.h"

#include <QIcon>
#include <QListWidgetItem>
#include <QTreeWidgetItem>

#include "app/dock/peer_state_icons.h"
#include "app/shared/codec_text.h"
#include "app/shared/view_colours.h"
#include "sessions/peer_meta.h"

namespace {

constexpr int kColumns = 5;

// The state of a directory peer: offline first, whatever it says about connecting.
PeerStateIcon stateIconOf(const PeerMeta& peer) {
    if (!peer.directory->online) return PeerStateIcon::Gray;
    if (peer.can_connect == QLatin1String("ts_fail")) return PeerStateIcon::Red;
    if (peer.can_connect == QLatin1String("busy")) return PeerStateIcon::Yellow;
    return PeerStateIcon::Green;
}

QString yesNo(bool on) {
    return on ? QStringLiteral("Yes") : QStringLiteral("No");
}

void setActive(QTreeWidgetItem* item, bool isActive) {
    item->setData(0, kPeerActiveRole, isActive);
    const QColor& background = isActive ? activePeerBackground : idlePeerBackground;
    for (int column = 0; column < kColumns; ++column) item->setBackground(column, background);
}

}  // namespace

void setPeerTreeItemData(QTreeWidgetItem* item, const PeerMeta* peer) {
    item->setData(0, kPeerIdRole, peer->id);
    item->setData(0, kPeerDirectoryRole, peer->directory != nullptr);
    decoratePeerTreeItem(item, *peer);
}

void decoratePeerTreeItem(QTreeWidgetItem* item, const PeerMeta& peer) {
    // Cut as the dialogs cut names, so that one long name leaves the other columns in sight.
    item->setText(0, shownName(peer.name));
    item->setToolTip(0, CodecText::nameToolTip(peer.name, kMaxShownNameLength));
    item->setData(0, kPeerNameRole, peer.name);
    item->setText(2, CodecText::name(peer.chan_state));
    if (!peer.directory) {
        // A connection the codec accepted from elsewhere has a compound id such as "3-1".
        const bool isIncoming = peer.id.contains(QLatin1Char('-'));
        item->setText(1, isIncoming ? QStringLiteral("(incoming)") : CodecText::name(peer.addr));
        item->setText(4, isIncoming ? QString() : yesNo(peer.bdlink));
        item->setData(0, kPeerAddressRole, peer.addr);
    } else {
        // The address column keeps whatever it showed: a directory peer reports none.
        item->setIcon(0, peerStateIcon(stateIconOf(peer)));
        item->setText(4, yesNo(peer.bdlink));
    }
    item->setText(3, peer.channel ? CodecText::name(peer.channel->rx_codec) : QString());
    item->setData(0, kPeerProfileRole, QString::number(peer.profile));
    setActive(item, peer.active);
}

void showPeerTreeItemNotLive(QTreeWidgetItem* item) {
    item->setText(2, QString());
    item->setText(3, QString());
    setActive(item, false);
}

void setPeerListItemData(QListWidgetItem* item, const PeerMeta* peer) {
    item->setData(kPeerIdRole, peer->id);
    item->setData(kPeerDirectoryRole, peer->directory != nullptr);
    decoratePeerListItem(item, *peer);
}

void decoratePeerListItem(QListWidgetItem* item, const PeerMeta& peer) {
    if (peer.directory) item->setIcon(peerStateIcon(stateIconOf(peer)));
    const QString name = CodecText::name(peer.name);
    item->setText(peer.chan_state.isEmpty() ? name
                                            : QStringLiteral("%1:    %2").arg(name, CodecText::name(peer.chan_state)));
    item->setData(kPeerActiveRole, peer.active);
    item->setData(kPeerProfileRole, QString::number(peer.profile));
    item->setBackground(peer.active ? activePeerBackground : idlePeerBackground);
}
