#include "dialogs/about_dialog.h"

#include "ui_about_dialog.h"

AboutDialog::AboutDialog(const QString& configFilePath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(new Ui::AboutDialogClass) {
    ui->setupUi(this);
    ui->labelVersion->setText(QStringLiteral(KESTRANE_VERSION));
    ui->labelConfigfile->setText(configFilePath);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() = default;
