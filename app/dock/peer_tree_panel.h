#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "text/lost_choice.h"

class CappedColumns;
class IPCObject;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The peer tree of the dock's Connections tab ("Remote Vantix Units") and its filter line: one row
// per peer of the codec shown, address-book peers first, then the peers its directory server knows,
// each group in the order the codec listed them. A new peer list updates the rows in place, so the
// operator's selection and scroll position survive the lists a codec sends every few seconds.
//
// Reads the session's peers under its mutex, as shared immutable copies, and builds the rows after
// releasing it. Threads: GUI thread only.
class PeerTreePanel {
public:
    PeerTreePanel(QTreeWidget* tree, QLineEdit* filterLine);

    // Rebuilds every row from the session's last peer list.
    void refill(IPCObject& session);
    // Redecorates the rows of peers still listed (the first row of an id takes the first peer of
    // that id), removes the others, and inserts new peers: an address-book peer after the last
    // address-book row, a directory peer at the end. The selected peer stays selected while its id
    // names a peer of the same name (and address, for an address-book peer), or the rename this
    // program sent for it (IPCObject::sentPeerRenames); otherwise no peer is selected, and what
    // became of the one that was is returned, unless this program sent its removal.
    std::optional<LostChoice> update(IPCObject& session);
    void clear();
    // Shows every row's peer as in no audio connection: the codec is lost.
    void showNotLive();

    // The first selected row, or null.
    QTreeWidgetItem* selectedPeerItem() const;
    // The selected row's peer as PeerMeta::identity gives it; empty when none is selected.
    QStringList selectedPeer() const;

    // Shows the rows whose name or address contains the filter line's text (ignoring case) and
    // colours the line by the outcome.
    void applyFilter();
    // Shows every row when `text` is empty, else those whose column 0 or 1 contains it, ignoring
    // case; true when any row shows.
    static bool filterPeerTree(QTreeWidget* tree, const QString& text);

private:
    void resizeColumns();

    QTreeWidget* tree;       // the form's; not owned
    QLineEdit* filterLine;   // the form's; not owned
    CappedColumns* columns;  // owned by the tree
};
