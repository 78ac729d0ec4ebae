#include "dialogs/option_spin_box.h"

#include "dialogs/decimal_id.h"

OptionSpinBox::OptionSpinBox(QWidget* parent) : QSpinBox(parent) {
    setKeyboardTracking(false);
}

QValidator::State OptionSpinBox::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    if (state != QValidator::Invalid) return state;
    QString number = input;
    if (number.startsWith(prefix())) number.remove(0, prefix().size());
    if (number.endsWith(suffix())) number.chop(suffix().size());
    return readDecimalId(number.trimmed()) ? QValidator::Intermediate : QValidator::Invalid;
}
