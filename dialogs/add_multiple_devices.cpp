#include "dialogs/add_multiple_devices.h"

#include <QIntValidator>

#include "dialogs/add_device.h"
#include "ui_add_multiple_devices.h"

AddMultipleDevices::AddMultipleDevices(QWidget* parent)
    : QDialog(parent), ui(new Ui::AddMultipleDevices), portValidator(new QIntValidator(this)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    setWindowTitle(tr("Add Codec"));
    portValidator->setRange(AddDevice::kMinPort, AddDevice::kMaxPort);
    ui->linePort->setValidator(portValidator);
    connect(ui->buttonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

AddMultipleDevices::~AddMultipleDevices() = default;
