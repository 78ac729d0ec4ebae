#include "app/dock/arrow_keys_stay_in_dock.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>

namespace {

// Whether Tab stops at `widget`, as Qt decides it for the focus chain.
bool takesTabFocus(const QWidget* widget) {
    return (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !widget->focusProxy() && widget->isVisible() &&
           widget->isEnabled();
}

}  // namespace

ArrowKeysStayInDock::ArrowKeysStayInDock(QWidget* dock) : QObject(dock), dock_(dock) {
    qApp->installEventFilter(this);
}

bool ArrowKeysStayInDock::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* button = qobject_cast<QAbstractButton*>(watched);
    // A group's buttons step among themselves.
    if (!button || button->autoExclusive() || button->group() || !dock_->isAncestorOf(button)) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    const bool isReversed = button->layoutDirection() == Qt::RightToLeft;
    bool isForward = false;
    switch (key->key()) {
    case Qt::Key_Down: isForward = true; break;
    case Qt::Key_Up: isForward = false; break;
    case Qt::Key_Right: isForward = !isReversed; break;
    case Qt::Key_Left: isForward = isReversed; break;
    default: return false;
    }
    neighbourWithin(pageOf(button), button, isForward)
        ->setFocus(isForward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

QWidget* ArrowKeysStayInDock::neighbourWithin(QWidget* scope, QWidget* from, bool isForward) {
    // The chain runs round the whole window; the scope's widgets are those of it below the scope.
    for (QWidget* next = from;;) {
        next = isForward ? next->nextInFocusChain() : next->previousInFocusChain();
        if (next == from) return from;
        if (scope->isAncestorOf(next) && takesTabFocus(next) && !qobject_cast<QTabBar*>(next)) return next;
    }
}

QWidget* ArrowKeysStayInDock::pageOf(QWidget* widget) const {
    for (QWidget* inner = widget; inner && inner != dock_; inner = inner->parentWidget()) {
        // A tab widget keeps its pages in a stack of its own.
        const QWidget* stack = inner->parentWidget();
        if (qobject_cast<const QStackedWidget*>(stack) && qobject_cast<const QTabWidget*>(stack->parentWidget())) {
            return inner;
        }
    }
    return dock_;
}
