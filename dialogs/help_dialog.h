#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class HelpDialog;
}

// A fixed page of operating instructions in a read-only browser. Complete, but the main window
// keeps its Help action hidden, so nothing opens it.
// GUI thread only.
class HelpDialog : public QDialog {
    Q_OBJECT

public:
    explicit HelpDialog(QWidget* parent = nullptr);
    ~HelpDialog() override;

private:
    std::unique_ptr<Ui::HelpDialog> ui;
};
