#include "dialogs/wheel_needs_focus.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QWidget>

namespace {

// `object` when it is a field whose value an unfocused wheel would change; null otherwise.
QWidget* coveredField(QObject* object) {
    if (qobject_cast<QAbstractSpinBox*>(object) || qobject_cast<QComboBox*>(object))
        return static_cast<QWidget*>(object);
    auto* slider = qobject_cast<QAbstractSlider*>(object);
    return slider && !qobject_cast<QScrollBar*>(object) ? slider : nullptr;
}

// Their own policy lets the wheel give them the focus before any filter could tell; each widget is
// polished before it is first shown.
void dropWheelFocus(QWidget& field) {
    if (field.focusPolicy() == Qt::WheelFocus) field.setFocusPolicy(Qt::StrongFocus);
}

}  // namespace

WheelNeedsFocus::WheelNeedsFocus(QApplication& application) : QObject(&application) {
    for (QWidget* widget : QApplication::allWidgets()) {
        if (QWidget* field = coveredField(widget)) dropWheelFocus(*field);
    }
    application.installEventFilter(this);
}

bool WheelNeedsFocus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel && event->type() != QEvent::Polish) return false;
    QWidget* field = coveredField(watched);
    if (!field) return false;
    if (event->type() == QEvent::Polish) {
        dropWheelFocus(*field);
        return false;
    }
    if (field->hasFocus()) return false;
    // Ignored and filtered, the event goes on to the parents, as a wheel nobody took does.
    event->ignore();
    return true;
}
