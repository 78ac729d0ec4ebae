#include "dialogs/option_spin_box.h"

#include <QLineEdit>

#include "text/decimal_id.h"

OptionSpinBox::OptionSpinBox(QWidget* parent) : QSpinBox(parent) {
    setKeyboardTracking(false);
}

std::optional<OptionSpinBox::Typing> OptionSpinBox::typing() const {
    if (text() == prefix() + textFromValue(value()) + suffix()) return std::nullopt;
    return Typing{text(), lineEdit()->cursorPosition()};
}

void OptionSpinBox::resumeTyping(const Typing& typing) {
    // Text set on the line, unlike a value, waits for Enter or the focus leaving, as typed text does.
    lineEdit()->setText(typing.text);
    lineEdit()->setCursorPosition(typing.cursor);
}

void OptionSpinBox::focusOutEvent(QFocusEvent* event) {
    const std::optional<Typing> refused = hasAcceptableInput() ? std::nullopt : typing();
    QSpinBox::focusOutEvent(event);
    if (refused) resumeTyping(*refused);
}

QValidator::State OptionSpinBox::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    if (state != QValidator::Invalid) return state;
    QString number = input;
    if (number.startsWith(prefix())) number.remove(0, prefix().size());
    if (number.endsWith(suffix())) number.chop(suffix().size());
    return readDecimalId(number.trimmed()) ? QValidator::Intermediate : QValidator::Invalid;
}
