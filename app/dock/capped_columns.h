#pragma once

#include <QObject>
#include <QVector>

class QEvent;
class QTreeView;

// Keeps the first columns of a tree view narrow enough that the column after them stays in sight,
// however long their texts: one peer a codec names at length must not push every peer's state out
// of the view. fit() sizes the columns to their contents, then cuts the capped ones to share what
// the view leaves beside the column kept in sight; as the view is resized they are cut again, never
// wider than their contents. A cut cell is elided, its whole text in its tool tip.
// GUI thread only.
class CappedColumns : public QObject {
public:
    // Caps the first `capped` columns of `tree` so that column `capped` stays in sight; fit() sizes
    // the first `sized` (the last column takes what is left). Owned by the tree.
    CappedColumns(QTreeView* tree, int capped, int sized);

    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cap();

    QTreeView* tree_;  // our parent
    int sized_;
    QVector<int> contentWidths_;  // of each capped column, as fit() last measured them
    bool isMeasured_ = false;     // fit() has run
};
