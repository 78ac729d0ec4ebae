#pragma once

#include <QDialog>
#include <QList>

#include <memory>

#include "sessions/peer_meta.h"

namespace Ui {
class ImportPeersClass;
}

// Lists a codec's peers as check-box rows, "name (address)", and reports which the operator
// ticked, by position. Nothing in the program opens it yet: it is kept ready for importing peers
// from one codec into another.
// GUI thread only.
class ImportPeers : public QDialog {
    Q_OBJECT

public:
    explicit ImportPeers(QWidget* parent = nullptr);
    ~ImportPeers() override;

    // Replaces the rows with one unticked row per peer, in list order.
    void setPeers(const QList<PeerMetaPtr>& peers);
    // The rows ticked (fully), as positions in the list given to setPeers, highest first.
    QList<int> selectedIds() const;

private:
    std::unique_ptr<Ui::ImportPeersClass> ui;
};
