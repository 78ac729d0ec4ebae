#include "dialogs/email_assignment_dialog.h"

#include <QPushButton>

#include "dialogs/alert_address_list.h"
#include "dialogs/kestrane_resources.h"
#include "sessions/ipc_object.h"
#include "text/unit_label.h"
#include "ui_email_assignment_dialog.h"

EmailAssignmentDialog::EmailAssignmentDialog(QWidget* parent) : QDialog(parent), ui(new Ui::EmailAssignmentDialog) {
    initKestraneResources();
    ui->setupUi(this);
    ui->emailAppendButton->setEnabled(false);
    connect(ui->emailAppendButton, &QPushButton::clicked, this, &EmailAssignmentDialog::emailAppendClicked);
    connect(ui->lineEdit, &QLineEdit::textChanged, this, &EmailAssignmentDialog::lineEditChanged);
}

EmailAssignmentDialog::~EmailAssignmentDialog() = default;

void EmailAssignmentDialog::setUnits(const QList<IPCObject*>& sessions) {
    ui->addressList->clear();
    ui->unitsList->clear();
    addReadyUnits(sessions);
}

void EmailAssignmentDialog::addReadyUnits(const QList<IPCObject*>& sessions) {
    for (IPCObject* session : sessions) {
        if (session->state() != IQEndpointClient::READY) continue;
        auto* row = new QListWidgetItem(unitLabel(*session), ui->unitsList);
        row->setData(Qt::UserRole, session->uuid);
    }
}

QList<QUuid> EmailAssignmentDialog::selectedUnits() const {
    QList<QUuid> keys;
    for (int row = 0; row < ui->unitsList->count(); ++row) {
        const QListWidgetItem* unit = ui->unitsList->item(row);
        if (unit->isSelected()) keys << unit->data(Qt::UserRole).toUuid();
    }
    return keys;
}

QStringList EmailAssignmentDialog::addresses() const {
    return addressTexts(*ui->addressList);
}

void EmailAssignmentDialog::emailAppendClicked() {
    appendTypedAddress(*ui->lineEdit, *ui->addressList);
}

void EmailAssignmentDialog::lineEditChanged(const QString& text) {
    ui->emailAppendButton->setEnabled(isAddableAlertAddress(text));
}
