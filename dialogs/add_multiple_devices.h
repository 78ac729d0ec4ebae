#pragma once

#include <QDialog>

#include <memory>

class QIntValidator;

namespace Ui {
class AddMultipleDevices;
}

// A dialog for a run of codecs at one address: the address, a starting port and five or ten
// instances. Complete, but nothing in the program opens it or reads its fields; codecs are added
// one at a time through AddDevice.
// GUI thread only.
class AddMultipleDevices : public QDialog {
    Q_OBJECT

public:
    explicit AddMultipleDevices(QWidget* parent = nullptr);
    ~AddMultipleDevices() override;

private:
    std::unique_ptr<Ui::AddMultipleDevices> ui;
    QIntValidator* portValidator;  // owned by the dialog
};
