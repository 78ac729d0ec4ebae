#pragma once

#include <QBrush>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <array>
#include <initializer_list>

#include "app/shared/level_bar.h"
#include "app/shared/meter_bars.h"

class FrameClock;
class IPCObject;

// The small level meter of a codec tile and a summary row: four thin horizontal bars, the receive
// pair above the transmit pair, each pair in a grey frame. Its owner gives it the session whose
// levels it shows and calls reset() when the codec leaves READY.
//
// A fleet's codecs report their levels about fifteen times a second each, and most meters are out
// of sight (on the other page, or on tiles scrolled away). A report only marks a shown meter dirty,
// and the frame clock of its window has it read its codec's newest levels at the next frame, if it
// is in sight. A meter found out of sight, and a hidden one, stop hearing of reports until they are
// painted or shown again, and then read the newest.
//
// The meter is one opaque widget that paints its frames and bars itself: a repaint of a meter in a
// fleet costs Qt's walk over the widget's siblings and a painter, once per meter rather than once
// per bar. Its mask is the two frames, so the tile shows through the margins and between the pairs
// as it always has. It paints only the columns whose pixels change: the lit part is copied from a
// picture of the lit meter that every meter of the same size shares, the rest is filled. While its
// codec's levels stopped coming, that picture is grey. Until the first level comes after the meter
// was given its session or reset, it shows hatched bars: empty bars would read as silence.
//
// Threads: GUI thread only.
class MiniMeter : public QWidget {
    Q_OBJECT

public:
    // The bars, in the order the session reports their levels.
    enum Bar { kRxl, kRxr, kTxl, kTxr };

    explicit MiniMeter(QWidget* parent = nullptr);
    ~MiniMeter() override;

    // Shows the levels `session` reports from now on (none for null): in a window with a frame
    // clock at the clock's next frame, elsewhere at once.
    void showLevelsOf(IPCObject* session);
    // Reads the session's newest levels if it has reported since they were last read and the meter
    // is in sight; the frame clock calls it.
    void showNewestLevels();
    // Whose levels it shows; null for none.
    IPCObject* session() const;

    // What a bar shows now.
    const LevelBar& bar(Bar which) const { return bars_[which]; }

public slots:
    // Levels in dB: receive left, receive right, transmit left, transmit right. No second marks.
    void levels(float rxl, float rxr, float txl, float txr);
    // The same four levels followed by a second value for each bar, shown as marks.
    void allLevels(float rxl, float rxr, float txl, float txr, float rxlSecond, float rxrSecond, float txlSecond,
                   float txrSecond);
    // Empties the four bars and shows them hatched until the next level; levels reported until now
    // are never shown.
    void reset();
    // Greys the lit bars while the session's levels stopped coming (IPCObject::areLevelsStale).
    void showFreshness();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    using Extents = std::array<LevelBar::Extent, 4>;

    MeterBars<LevelBar> levelBars();
    Extents extents() const;
    // Asks for a repaint of the columns that show otherwise than `before`, when in sight.
    void repaintChanges(const Extents& before);
    // Asks for a repaint of the part of `changed` in sight.
    void repaintInSight(const QRect& changed);
    // Where the frames and bars lie at the meter's size.
    void layOutBars();
    // The meter with every bar fully lit, at its size.
    const QPixmap& litLook();
    // The meter before its first level: every bar hatched.
    const QPixmap& waitingLook();
    // The meter's frames with each bar filled by `fills` in turn, at its size: the picture named
    // `name`, shared with same-sized meters.
    QPixmap look(const QString& name, std::initializer_list<QBrush> fills);
    // Repaints what the bars' new levels changed since `before`: all of the meter for its first.
    void showLevelsSince(const Extents& before);
    // Shows the bars hatched until the next level.
    void showWaiting();

    void startWatching();
    void stopWatching();
    // The session reported: its levels are read at the next frame.
    void markDirty();
    bool hasUnreadLevels() const;

    QPointer<IPCObject> session_;  // whose levels are shown; not owned
    quint64 readReports_ = 0;      // the session's level report count when its levels were last read
    QPointer<FrameClock> clock_;   // of the meter's window, once looked up; null without one
    bool isScheduled_ = false;     // on clock_ for its next frame
    bool isWatching_ = false;      // connected to the session's levelsReported

    bool isStale_ = false;    // the lit look is grey
    bool hasLevels_ = false;  // a level came since the session was given or the meter reset

    std::array<LevelBar, 4> bars_;
    std::array<QRect, 2> frames_;  // the receive pair's, then the transmit pair's
    std::array<QRect, 4> barRects_;
    QPixmap litLook_;      // null until painted at this size; shared with same-sized meters
    QPixmap waitingLook_;  // the same
};
