#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class AboutDialogClass;
}

// The about box: product, maker, software version and where the configuration file lies. The
// caller gives the configuration file's path (the one its loader and writer use), which the
// operator can select and copy. OK or Escape closes it.
// GUI thread only.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(const QString& configFilePath, QWidget* parent = nullptr);
    ~AboutDialog() override;

private:
    std::unique_ptr<Ui::AboutDialogClass> ui;
};
