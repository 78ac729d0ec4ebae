#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <climits>

#include "tests/support/qt_wait.h"

namespace app_test {

// Counts the paint events that reach a widget: what the operator's screen actually redraws.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

// Runs every event posted so far, whatever its priority (repaints are posted at low priority), so
// that a repaint that was asked for has happened on return. False when that took too long.
inline bool flushPostedEvents() {
    struct Marker : QObject {
        bool isReached = false;
        bool event(QEvent* event) override { return event->type() == QEvent::User && (isReached = true); }
    } marker;
    QCoreApplication::postEvent(&marker, new QEvent(QEvent::User), INT_MIN);
    return test_support::wait_processing_events([&] { return marker.isReached; });
}

}  // namespace app_test
