#include "app/shared/frame_clock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QWidget>

#include <algorithm>

#include "app/shared/mini_meter.h"

namespace {

// Each window's clock, for the meters in it to find.
QHash<const QWidget*, FrameClock*>& clocks() {
    static QHash<const QWidget*, FrameClock*> byWindow;
    return byWindow;
}

}  // namespace

FrameClock::FrameClock(QWidget* window, std::chrono::milliseconds period)
    : QObject(window), window_(window), period_(period) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);  // a coarse timer may end a period 5% early
    connect(&timer_, &QTimer::timeout, this, &FrameClock::tick);
    window->installEventFilter(this);
    clocks().insert(window, this);
}

FrameClock::~FrameClock() {
    clocks().remove(window_);
    window_->removeEventFilter(this);
    // Not a tick: whoever follows the frames may be half destroyed with the window.
    serveWaiting();
}

FrameClock* FrameClock::of(const QWidget& widget) {
    return clocks().value(widget.window());
}

QRect FrameClock::shownRect(const QWidget& widget) {
    if (!widget.isVisible()) return {};
    QRect shown = widget.rect();
    QPoint offset;  // of the widget in the ancestor reached
    for (const QWidget* child = &widget; !child->isWindow(); child = child->parentWidget()) {
        offset += child->pos();
        shown &= child->parentWidget()->rect().translated(-offset);
        if (shown.isEmpty()) return {};
    }
    return shown;
}

bool FrameClock::isInSight(const QWidget& widget) {
    return !shownRect(widget).isEmpty() && !widget.window()->isMinimized();
}

void FrameClock::schedule(MiniMeter& meter) {
    scheduled_.push_back(&meter);
    if (!timer_.isActive()) timer_.start(0);
}

void FrameClock::cancel(MiniMeter& meter) {
    scheduled_.erase(std::remove(scheduled_.begin(), scheduled_.end(), &meter), scheduled_.end());
}

// Qt asks a window for its repaint with one UpdateRequest and asks no more until that one has been
// handled, however many widgets change meanwhile: one held here is asked again at the next tick.
bool FrameClock::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowStateChange || type == QEvent::Show || type == QEvent::Hide) {
        // Minimising or hiding paints nothing, yet nothing is in sight any more.
        if (!timer_.isActive()) timer_.start(0);
        return false;
    }
    if (type != QEvent::UpdateRequest) return false;
    if (!isFrameOpen_) {
        isFrameHeld_ = true;
        return true;
    }
    isFrameOpen_ = false;
    timer_.start(period_);
    return false;
}

void FrameClock::tick() {
    serveWaiting();
    emit frameEnded();
}

void FrameClock::serveWaiting() {
    isFrameOpen_ = true;
    // Meters scheduled while these read go to the next frame. Both lists keep their room.
    due_.swap(scheduled_);
    for (MiniMeter* meter : due_) meter->showNewestLevels();
    due_.clear();
    releaseHeldFrame();
}

void FrameClock::releaseHeldFrame() {
    if (!isFrameHeld_) return;
    isFrameHeld_ = false;
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}
