#include "dialogs/unit_password.h"

#include <QFontMetrics>
#include <QPushButton>

#include <algorithm>

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
    fitTitle();
}

void UnitPassword::fitTitle() {
    // The title bar writes the title, commonly in bold, beside the window's icon and its buttons:
    // a prompt narrower than that would cut off the codec's name or address.
    constexpr int kTitleBarExtras = 150;
    QFont titleFont = font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + kTitleBarExtras;
    setMinimumWidth(std::max(minimumSizeHint().width(), titleWidth));
}

QString UnitPassword::password() const {
    return ui->linePassword->text();
}

void UnitPassword::applyTo(IPCObject& session) const {
    session.set_password(password().toUtf8().toStdString());
    session.scheduleReconnect(0);
}
