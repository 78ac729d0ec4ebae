#pragma once

#include <QSpinBox>

// The spin box of the option editors. A whole number beyond the limits stays as typed, where
// QSpinBox would refuse the key that crosses the upper one and leave a number ten times off; the
// editors name such a number on Save and on Enter, and the box puts its last value back when the
// focus leaves. A typed number counts only once it is finished (Enter, or the focus leaving), so
// that the digits on the way to it (30 and 300 on the way to 3000) never become values.
// GUI thread only.
class OptionSpinBox : public QSpinBox {
    Q_OBJECT

public:
    explicit OptionSpinBox(QWidget* parent = nullptr);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
};
