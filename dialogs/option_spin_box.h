#pragma once

#include <QSpinBox>

#include <optional>

// The spin box of the option editors. A whole number beyond the limits stays as typed, where
// QSpinBox would refuse the key that crosses the upper one and leave a number ten times off; the
// editors name such a number on Save and on Enter, and it stays in the box when the focus leaves
// (to the box that names it, say), where QSpinBox would put its last value back: the operator
// corrects what was typed, and the value stays the last one taken until then. A typed number
// counts only once it is finished (Enter, or the focus leaving), so that the digits on the way to
// it (30 and 300 on the way to 3000) never become values.
// GUI thread only.
class OptionSpinBox : public QSpinBox {
    Q_OBJECT

public:
    // Text typed into the box and not taken as its value yet, with the cursor where the next key goes.
    struct Typing {
        QString text;
        int cursor = 0;
    };

    explicit OptionSpinBox(QWidget* parent = nullptr);

    // What is typed and not taken yet; none while the box shows its value.
    std::optional<Typing> typing() const;
    // Puts `typing` back after the box was filled again, still not taken.
    void resumeTyping(const Typing& typing);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void focusOutEvent(QFocusEvent* event) override;
};
