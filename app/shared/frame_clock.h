#pragma once

#include <QObject>
#include <QRect>
#include <QTimer>

#include <chrono>
#include <vector>

class MiniMeter;
class QWidget;

// The frame clock of one top-level window: it paints the window at most once a period, and the
// small meters in it show their codecs' levels at its pace.
//
// A fleet's codecs report at their own moments, spread over every millisecond, and each repaint of
// a window has a cost of its own (the walk over what changed, the painter, the copy to the screen).
// Here whatever asks for a repaint only marks itself dirty, as it always does, and the window
// paints everything dirty and visible together: at once after a quiet spell, otherwise when the
// period since the last frame is over. A meter whose codec reports is marked dirty too, and at the
// next frame reads its codec's newest levels, if it is in sight; levels replaced between two
// frames are never read, and a meter out of sight reads nothing. At the end of each frame the
// views may look again at what they show (frameEnded).
//
// Threads: GUI thread only.
class FrameClock : public QObject {
    Q_OBJECT

public:
    // Thirty frames a second.
    static constexpr std::chrono::milliseconds kPeriod{34};

    // Paces `window`, a top-level widget (or a dock widget, which is one while it floats), which
    // owns the clock.
    explicit FrameClock(QWidget* window, std::chrono::milliseconds period = kPeriod);
    // Serves what waits for the next frame: the meters read their levels and a repaint held back
    // is asked again, so that the window is not left without one.
    ~FrameClock() override;

    // The clock of the widget's window; null when the window has none.
    static FrameClock* of(const QWidget& widget);
    // The part of the widget that lies inside its window, in its own coordinates: empty when it is
    // hidden or clipped away by a parent (a tile scrolled out of its scroll area, a row's meter out
    // of the tree's viewport), whether or not the window is minimised.
    static QRect shownRect(const QWidget& widget);
    // Whether any of the widget lies inside its window, and the window is on screen: shownRect is
    // not empty and the window not minimised. Qt would paint nothing of a clipped widget, but it
    // still walks the widget's siblings for every update asked of it, and a fleet of tiles has many.
    static bool isInSight(const QWidget& widget);

    // Has the meter read its levels at the next frame. The meter calls cancel() before it goes.
    void schedule(MiniMeter& meter);
    void cancel(MiniMeter& meter);

signals:
    // A frame has ended: its meters have read their levels. What is in sight may have changed
    // since the last one (a scroll, another page). Also soon after the window is minimised,
    // restored, hidden or shown, which may paint nothing.
    void frameEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();
    // The meters scheduled read their levels, and a repaint held back is asked again.
    void serveWaiting();
    void releaseHeldFrame();

    QWidget* window_;  // not owned: it owns the clock
    const std::chrono::milliseconds period_;
    // Runs from a frame to the end of its period, or for no time at all when a meter is scheduled
    // outside a period. Never idle while a frame is closed.
    QTimer timer_;
    bool isFrameOpen_ = true;            // no frame since the last tick
    bool isFrameHeld_ = false;           // a repaint was asked while the frame was closed
    std::vector<MiniMeter*> scheduled_;  // not owned; each meter cancels itself when it goes
    std::vector<MiniMeter*> due_;        // what the running tick reads; empty between ticks
};
