#pragma once

#include <QPointer>
#include <QWidget>

#include "app/shared/meter_bars.h"

class FrameClock;
class IPCObject;
class MeterWidget;
class QVBoxLayout;

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
// Most of a meter's cost is its six styled widgets, and most of a fleet's meters are never seen
// (the summary tree's, while the tiles show; the tiles scrolled away): the frames and bars are made
// when the meter is first painted or given levels.
//
// Threads: GUI thread only.
class MiniMeter : public QWidget {
    Q_OBJECT

public:
    explicit MiniMeter(QWidget* parent = nullptr);
    ~MiniMeter() override;

    // Shows the levels `session` reports from now on (none for null): in a window with a frame
    // clock at the clock's next frame, elsewhere at once.
    void showLevelsOf(IPCObject* session);
    // Reads the session's newest levels if it has reported since they were last read and the meter
    // is in sight; the frame clock calls it.
    void showNewestLevels();

public slots:
    // Levels in dB: receive left, receive right, transmit left, transmit right. No second marks.
    void levels(float rxl, float rxr, float txl, float txr);
    // The same four levels followed by a second value for each bar, shown as marks.
    void allLevels(float rxl, float rxr, float txl, float txr, float rxlSecond, float rxrSecond,
                   float txlSecond, float txrSecond);
    // Empties the four bars (and repaints them); levels reported until now are never shown.
    void reset();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Makes the frames and bars, once.
    void buildBars();
    MeterBars<MeterWidget> bars();
    void startWatching();
    void stopWatching();
    // The session reported: its levels are read at the next frame.
    void markDirty();
    bool hasUnreadLevels() const;

    QPointer<IPCObject> session_;   // whose levels are shown; not owned
    quint64 readReports_ = 0;       // the session's level report count when its levels were last read
    QPointer<FrameClock> clock_;    // of the meter's window, once looked up; null without one
    bool isScheduled_ = false;      // on clock_ for its next frame
    bool isWatching_ = false;       // connected to the session's levelsReported

    // The widget tree: the layout built in the constructor, the frames and bars (null until then)
    // by buildBars; the widgets are children of this meter.
    QVBoxLayout* verticalLayout = nullptr;
    QWidget* rx = nullptr;
    QVBoxLayout* verticalLayout_2 = nullptr;
    MeterWidget* rxl = nullptr;
    MeterWidget* rxr = nullptr;
    QWidget* tx = nullptr;
    QVBoxLayout* verticalLayout_3 = nullptr;
    MeterWidget* txl = nullptr;
    MeterWidget* txr = nullptr;
};
