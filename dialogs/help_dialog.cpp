#include "dialogs/help_dialog.h"

#include <QFile>

#include "dialogs/kestrane_resources.h"
#include "ui_help_dialog.h"

HelpDialog::HelpDialog(QWidget* parent) : QDialog(parent), ui(new Ui::HelpDialog) {
    initKestraneResources();
    ui->setupUi(this);
    QFile page(QStringLiteral(":/help/help.html"));
    if (page.open(QIODevice::ReadOnly)) ui->textHelp->setHtml(QString::fromUtf8(page.readAll()));
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

HelpDialog::~HelpDialog() = default;
