#include "dialogs/send_dialog.h"

#include <QDialogButtonBox>

#include "dialogs/device_state_text.h"
#include "dialogs/unit_label.h"
#include "sessions/ipc_object.h"
#include "ui_send_dialog.h"

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kLabelRole = Qt::UserRole + 1;

}  // namespace

SendDialog::SendDialog(QWidget* parent) : QDialog(parent), ui(new Ui::SendDialog) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

SendDialog::~SendDialog() = default;

void SendDialog::setTargets(const QList<IPCObject*>& sessions) {
    for (IPCObject* session : sessions) {
        // With the port: codecs behind one address differ only by it.
        const QString label =
            shownUnitName(*session) + QStringLiteral(" : ") + IPCObject::addressText(session->host, session->port);
        const bool isReady = session->state() == IQEndpointClient::READY;
        auto* row = new QListWidgetItem(isReady ? label : tr("%1 (%2)").arg(label, deviceStateText(session->state())),
                                        ui->deviceList);
        row->setData(kKeyRole, session->uuid);
        row->setData(kLabelRole, label);
        row->setFlags(isReady ? row->flags() | Qt::ItemIsUserCheckable : Qt::ItemIsUserCheckable);
        row->setCheckState(Qt::Unchecked);
    }
}

QList<SendDialog::Target> SendDialog::selectedTargets() const {
    QList<Target> targets;
    for (int row = 0; row < ui->deviceList->count(); ++row) {
        const QListWidgetItem* item = ui->deviceList->item(row);
        if (item->checkState() == Qt::Checked) {
            targets.append({item->data(kKeyRole).toUuid(), item->data(kLabelRole).toString()});
        }
    }
    return targets;
}
