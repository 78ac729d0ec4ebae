#include "dialogs/send_dialog.h"

#include <QDialogButtonBox>

#include <algorithm>

#include "sessions/ipc_object.h"
#include "text/device_state_text.h"
#include "text/unit_label.h"
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

void SendDialog::setCopied(const QString& line) {
    ui->copiedLabel->setText(line);
}

void SendDialog::setTargets(const QList<IPCObject*>& sessions, Copy copy) {
    struct Row {
        IPCObject* session;
        QString name;  // cut; empty until the codec has told it
        QString address;
    };
    QList<Row> rows;
    for (IPCObject* session : sessions) {
        // With the port: codecs behind one address differ only by it.
        rows.append({session, shownUnitName(*session), IPCObject::addressText(session->host, session->port)});
    }
    // By name, as the operator looks for a codec; a codec that has not told its name by its address.
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        const int byName = QString::compare(a.name, b.name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.address < b.address;
    });
    for (const Row& each : rows) {
        const QString label = each.name.isEmpty() ? each.address : tr("%1 : %2").arg(each.name, each.address);
        const QString reason = whyNot(*each.session, copy);
        auto* row = new QListWidgetItem(reason.isEmpty() ? label : tr("%1 (%2)").arg(label, reason), ui->deviceList);
        row->setData(kKeyRole, each.session->uuid);
        row->setData(kLabelRole, label);
        row->setFlags(reason.isEmpty() ? row->flags() | Qt::ItemIsUserCheckable : Qt::ItemIsUserCheckable);
        row->setCheckState(Qt::Unchecked);
    }
}

QString SendDialog::whyNot(IPCObject& session, Copy copy) {
    const IQEndpointClient::DEVICE_STATE state = session.state();
    if (state != IQEndpointClient::READY) return deviceStateText(state);
    // Its answer to "addProfile" never reaches the copy, which would leave an empty profile there.
    if (copy == Copy::Profile && !session.takesSubscriptions()) return tr("Old protocol");
    return QString();
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
