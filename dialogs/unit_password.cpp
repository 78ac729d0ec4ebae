#include "dialogs/unit_password.h"

#include <QPushButton>

#include "sessions/ipc_object.h"
#include "text/unit_label.h"
#include "ui_unit_password.h"

UnitPassword::UnitPassword(QWidget* parent) : QDialog(parent), ui(new Ui::UnitPasswordClass) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    setWindowTitle(tr("Device Login Failed"));
    connect(ui->buttonOK, &QPushButton::clicked, this, &QDialog::accept);
}

UnitPassword::~UnitPassword() = default;

void UnitPassword::describe(IPCObject& session) {
    const QString unit_name = shownUnitName(session);
    if (!unit_name.isEmpty()) ui->label->setText(tr("Enter connection password for %1:").arg(unit_name));
    const QString label = unitLabel(session);
    if (!label.isEmpty()) setWindowTitle(tr("Device Login Failed (%1)").arg(label));
}

QString UnitPassword::password() const {
    return ui->linePassword->text();
}

void UnitPassword::applyTo(IPCObject& session) const {
    session.set_password(password().toUtf8().toStdString());
    session.scheduleReconnect(0);
}
