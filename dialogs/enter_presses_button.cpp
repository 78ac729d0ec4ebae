#include "dialogs/enter_presses_button.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

EnterPressesButton::EnterPressesButton(QWidget* root) : QObject(root), root_(root) {
    root->installEventFilter(this);
}

bool EnterPressesButton::eventFilter(QObject* /*watched: only the root*/, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    // Key events go to the focus widget: one that came up to here was left by it.
    auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (!button || !root_->isAncestorOf(button)) return false;
    // Held down, Space presses once.
    if (!key->isAutoRepeat()) button->click();
    return true;
}
