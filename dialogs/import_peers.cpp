#include "dialogs/import_peers.h"

#include <QPushButton>

#include "dialogs/kestrane_resources.h"
#include "text/codec_text.h"
#include "ui_import_peers.h"

ImportPeers::ImportPeers(QWidget* parent) : QDialog(parent), ui(new Ui::ImportPeersClass) {
    initKestraneResources();
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(tr("Import Remotes From Codec"));
    connect(ui->buttonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

ImportPeers::~ImportPeers() = default;

void ImportPeers::setPeers(const QList<PeerMetaPtr>& peers) {
    ui->listPeers->clear();
    for (const PeerMetaPtr& peer : peers) {
        const QString text = QStringLiteral("%1 (%2)").arg(shownCodecText(peer->name), shownCodecText(peer->addr));
        auto* row = new QListWidgetItem(text, ui->listPeers);
        row->setCheckState(Qt::Unchecked);
    }
}

QList<int> ImportPeers::selectedIds() const {
    QList<int> rows;
    for (int row = 0; row < ui->listPeers->count(); ++row) {
        if (ui->listPeers->item(row)->checkState() == Qt::Checked) rows.prepend(row);
    }
    return rows;
}
