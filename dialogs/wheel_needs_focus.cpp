#include "dialogs/wheel_needs_focus.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QSlider>
#include <QWidget>

namespace {

void cover(QWidget* field, QObject* filter) {
    // Their own policy lets the wheel give them the focus before the filter could tell.
    field->setFocusPolicy(Qt::StrongFocus);
    field->installEventFilter(filter);
}

}  // namespace

WheelNeedsFocus::WheelNeedsFocus(QWidget* editor) : QObject(editor) {
    for (QWidget* field : editor->findChildren<QAbstractSpinBox*>()) cover(field, this);
    for (QWidget* field : editor->findChildren<QComboBox*>()) cover(field, this);
    for (QWidget* field : editor->findChildren<QSlider*>()) cover(field, this);
}

bool WheelNeedsFocus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus()) return false;
    // Ignored and filtered, the event goes on to the parents, as a wheel nobody took does.
    event->ignore();
    return true;
}
