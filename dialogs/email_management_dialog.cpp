#include "dialogs/email_management_dialog.h"

#include <QPushButton>

#include "dialogs/alert_address_list.h"
#include "sessions/ipc_object.h"
#include "text/unit_label.h"
#include "ui_email_management_dialog.h"

EmailManagementDialog::EmailManagementDialog(QWidget* parent) : QDialog(parent), ui(new Ui::EmailManagementDialog) {
    ui->setupUi(this);
    connect(ui->addressList, &QListWidget::customContextMenuRequested, this,
            &EmailManagementDialog::addressListContextMenu);
    connect(ui->actionActionRemoveAddress, &QAction::triggered, this, &EmailManagementDialog::removeAddress);
    connect(ui->addressList, &QListWidget::itemDoubleClicked, this, &EmailManagementDialog::editItem);
    connect(ui->addressAddButton, &QPushButton::clicked, this, &EmailManagementDialog::emailAddClicked);
    connect(ui->addressLine, &QLineEdit::textChanged, this, &EmailManagementDialog::lineEditChanged);
}

EmailManagementDialog::~EmailManagementDialog() = default;

void EmailManagementDialog::setAddresses(IPCObject& session) {
    ui->deviceName->setText(unitLabel(session));
    for (const QString& address : qAsConst(session.alertEmails)) {
        auto* row = new QListWidgetItem(address, ui->addressList);
        row->setFlags(row->flags() | Qt::ItemIsEditable);
    }
}

QStringList EmailManagementDialog::addresses() const {
    return addressTexts(*ui->addressList);
}

void EmailManagementDialog::removeAddress() {
    removeSelectedAddress(*ui->addressList);
}

void EmailManagementDialog::editItem(QListWidgetItem* item) {
    ui->addressList->editItem(item);
}

void EmailManagementDialog::addressListContextMenu(const QPoint& position) {
    popUpAddressMenu(*ui->addressList, *ui->actionActionRemoveAddress, position);
}

void EmailManagementDialog::emailAddClicked() {
    appendTypedAddress(*ui->addressLine, *ui->addressList);
}

void EmailManagementDialog::lineEditChanged(const QString& text) {
    ui->addressAddButton->setEnabled(isAddableAlertAddress(text));
}
