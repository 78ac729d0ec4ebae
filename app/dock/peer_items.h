#pragma once

#include <Qt>

class PeerMeta;
class QListWidgetItem;
class QTreeWidgetItem;

// How a peer of a codec shows as a row of the dock's peer tree: texts, state icon, background and
// the data roles the window reads back (column 0):
//   Qt::UserRole      the address, for peers without a directory record
//   Qt::UserRole + 1  the name, as the codec wrote it (tree rows only)
//   Qt::UserRole + 2  the id, as the codec wrote it (text)
//   Qt::UserRole + 3  whether the peer is in an audio connection (bool)
//   Qt::UserRole + 4  whether it has a directory record (bool)
//   Qt::UserRole + 5  its profile id as decimal text
// Columns: 0 name, 1 address, 2 channel state, 3 receive codec, 4 tunnel-link flag. Every text is
// shown as plain text and bounded as CodecText shows names: a codec names its peers. A tree row's
// name is cut as the dialogs cut names (shownName), whole in its tool tip.
//
// The caller keeps `peer` alive for the call (a session hands out shared, immutable peers).
// GUI thread only; createPeerStateIcons() must have run.

constexpr int kPeerAddressRole = Qt::UserRole;
constexpr int kPeerNameRole = Qt::UserRole + 1;
constexpr int kPeerIdRole = Qt::UserRole + 2;
constexpr int kPeerActiveRole = Qt::UserRole + 3;
constexpr int kPeerDirectoryRole = Qt::UserRole + 4;
constexpr int kPeerProfileRole = Qt::UserRole + 5;

// Sets the id and directory roles of a new row, then decorates it.
void setPeerTreeItemData(QTreeWidgetItem* item, const PeerMeta* peer);
// Everything but the id and directory roles: used again on a row whose peer (same id) reported anew.
void decoratePeerTreeItem(QTreeWidgetItem* item, const PeerMeta& peer);
// Shows a row's peer as in no audio connection, with no channel state or codec: what the codec last
// said of it is not current once the codec is lost.
void showPeerTreeItemNotLive(QTreeWidgetItem* item);

// A directory peer as a row of a dialog's peer list: the same roles and state icon as the tree's
// row, its name (and its channel state, when it has one) as text, and the tree's backgrounds.
// Sets the id and directory roles, then decorates the row.
void setPeerListItemData(QListWidgetItem* item, const PeerMeta* peer);
void decoratePeerListItem(QListWidgetItem* item, const PeerMeta& peer);
