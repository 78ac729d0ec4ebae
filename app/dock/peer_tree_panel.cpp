#include "app/dock/peer_tree_panel.h"

#include <QHash>
#include <QLineEdit>
#include <QTreeWidget>

#include <mutex>

#include "app/dock/capped_columns.h"
#include "app/dock/list_filter.h"
#include "app/dock/peer_items.h"
#include "sessions/ipc_object.h"

namespace {

bool isBookRow(const QTreeWidgetItem* item) {
    return !item->data(0, kPeerDirectoryRole).toBool();
}

// The peer the row shows, as PeerMeta::identity gives it. A directory peer's row has no address.
QStringList shownPeer(const QTreeWidgetItem* item) {
    return {item->data(0, kPeerIdRole).toString(), item->data(0, kPeerNameRole).toString(),
            item->data(0, kPeerAddressRole).toString()};
}

// Whether `peer`, listed under the row's id, is still the peer the row showed: a codec may give a
// removed peer's id to another, and another client may rename or readdress it. A directory peer
// reports no address.
bool showsSamePeer(const QTreeWidgetItem* item, const PeerMeta& peer) {
    return item->data(0, kPeerNameRole).toString() == peer.name &&
           (peer.directory || item->data(0, kPeerAddressRole).toString() == peer.addr);
}

}  // namespace

PeerTreePanel::PeerTreePanel(QTreeWidget* tree_, QLineEdit* filterLine_)
    : tree(tree_), filterLine(filterLine_), columns(new CappedColumns(tree_, 2, 4)) {}

void PeerTreePanel::refill(IPCObject& session) {
    QList<PeerMetaPtr> peers;
    {
        std::lock_guard<SessionMutex> lock(session.mutex());
        peers = session.bookPeers + session.directoryPeers;
    }
    tree->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(peers.size());
    for (const PeerMetaPtr& peer : peers) {
        auto* row = new QTreeWidgetItem;
        setPeerTreeItemData(row, peer.get());
        rows << row;
    }
    tree->addTopLevelItems(rows);
    resizeColumns();
}

std::optional<LostChoice> PeerTreePanel::update(IPCObject& session) {
    QList<PeerMetaPtr> listed;
    {
        std::lock_guard<SessionMutex> lock(session.mutex());
        listed = session.allPeers;
    }
    // Indexed once: a codec may list thousands of peers, in a new order each time.
    QHash<QString, PeerMetaPtr> unclaimed;
    unclaimed.reserve(listed.size());
    for (const PeerMetaPtr& peer : listed) {
        if (!unclaimed.contains(peer->id)) unclaimed.insert(peer->id, peer);
    }
    std::optional<LostChoice> lost;
    for (int row = 0; row < tree->topLevelItemCount();) {
        QTreeWidgetItem* item = tree->topLevelItem(row);
        const PeerMetaPtr peer = unclaimed.take(item->data(0, kPeerIdRole).toString());
        const bool isGone =
            !peer || !(showsSamePeer(item, *peer) || session.sentPeerRenames.isSent(shownPeer(item), peer->identity()));
        if (isGone && item->isSelected()) {
            // A peer the operator removed here goes without a word: the list only did as asked.
            if (!session.sentPeerRenames.isRemoved(shownPeer(item))) {
                lost = LostChoice{LostChoice::Kind::kPeer, shownPeer(item), peer ? peer->identity() : QStringList()};
            }
            // Left current, the row would hand the selection to its neighbour, or keep it for the
            // peer that took its id: a peer the operator never picked, which Connect or Remove
            // would then act on.
            if (tree->currentItem() == item) tree->setCurrentItem(nullptr);
            item->setSelected(false);
        }
        if (!peer) {
            if (tree->currentItem() == item) tree->setCurrentItem(nullptr);
            delete tree->takeTopLevelItem(row);  // the next row moves up into its place
            continue;
        }
        decoratePeerTreeItem(item, *peer);
        ++row;
    }
    // Address-book rows come first, so new ones go right after the last of them.
    int bookEnd = 0;
    while (bookEnd < tree->topLevelItemCount() && isBookRow(tree->topLevelItem(bookEnd))) ++bookEnd;
    for (const PeerMetaPtr& peer : listed) {
        if (unclaimed.value(peer->id) != peer) continue;  // shown already
        auto* item = new QTreeWidgetItem;
        setPeerTreeItemData(item, peer.get());
        if (peer->directory) {
            tree->addTopLevelItem(item);
        } else {
            tree->insertTopLevelItem(bookEnd++, item);
        }
    }
    resizeColumns();
    return lost;
}

void PeerTreePanel::clear() {
    tree->clear();
}

void PeerTreePanel::showNotLive() {
    for (int row = 0; row < tree->topLevelItemCount(); ++row) showPeerTreeItemNotLive(tree->topLevelItem(row));
}

QTreeWidgetItem* PeerTreePanel::selectedPeerItem() const {
    return tree->selectedItems().value(0);
}

QStringList PeerTreePanel::selectedPeer() const {
    const QTreeWidgetItem* item = selectedPeerItem();
    return item ? shownPeer(item) : QStringList();
}

void PeerTreePanel::applyFilter() {
    showFilterResult(filterLine, filterPeerTree(tree, filterLine->text()));
}

bool PeerTreePanel::filterPeerTree(QTreeWidget* tree, const QString& text) {
    bool hasMatch = text.isEmpty();
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = tree->topLevelItem(row);
        // The whole name: the row's text may be cut.
        const bool isShown = text.isEmpty() ||
                             item->data(0, kPeerNameRole).toString().contains(text, Qt::CaseInsensitive) ||
                             item->text(1).contains(text, Qt::CaseInsensitive);
        item->setHidden(!isShown);
        hasMatch = hasMatch || isShown;
    }
    return hasMatch;
}

void PeerTreePanel::resizeColumns() {
    // Names, addresses, states and codecs read whole, but a name or an address only as far as it
    // leaves the peers' states in sight; the last column takes what is left.
    columns->fit();
}
