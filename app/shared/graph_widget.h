#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>

#include <QList>

#include "sessions/graph_data.h"

class QPainter;

// The common base of the Statistics tab's delay and loss graphs: a dark plot area with a grey
// border (from its style sheet), the bar geometry, and what both paint events share. A graph shows
// the last GraphData::kShownSpanMs of a series as bars placed by the time each sample was taken, a
// slot a second, newest at the right, with lines over them, two scale labels in the right 80
// pixels and the span on a time axis along the bottom: samples taken seconds apart stand apart.
//
// While the codec's statistics stopped coming (setStale), the graph draws its series grey, says so
// in words and keeps sliding with the clock, a slot a second: the gap at the right grows with the
// stall, so that the last samples never read as current.
//
// A graph keeps no samples: it paints the series of the codec the dock shows, set with the
// subclass's setSeries(), and repaints when that series announces a change. It holds the series by
// a guarded pointer and so shows only its background once the codec's session is gone.
// Threads: GUI thread only, like the series (see GraphData).
class GraphWidget : public QWidget {
    Q_OBJECT

public:
    GraphWidget(int slotCount, QWidget* parent = nullptr);
    ~GraphWidget() override;

    // `tenths` as a decimal with one place: 1234 gives "123.4", 50 gives "5.0".
    static QString formatAxisValue(qint64 tenths);

    void setRange(int min, int max);
    // trunc(value / (max - min) × pixels); with max equal to min, pixels for a non-zero value.
    static int valueToPixels(int value, int min, int max, int pixels);

    // The series shown, of the subclass's type; null when none or when it was destroyed.
    GraphData* shownData() const { return shownSeries.data(); }

    // Greys the series and slides it with the clock while the statistics shown stopped coming
    // (IPCObject::areStatisticsStale); a series set afterwards starts live.
    void setStale(bool isStale);
    bool isStale() const { return isStale_; }

public slots:
    void enable();
    void disable();

protected:
    // Follows `next` instead of the series shown so far and repaints; false when `next` is already
    // shown. The subclass then connects the new series' dataChanged.
    bool replaceSeries(GraphData* next);

    // Columns at the right that hold the scale labels.
    static constexpr int kLabelWidth = 80;
    // Rows the time axis's ticks rise from the bottom edge.
    static constexpr int kTickLength = 4;

    // Where the bars go: the plot width divided into one slot per sample the series can hold, each
    // `step` columns wide; the newest sample's slot starts at plotWidth - step, older ones further left.
    struct Columns {
        int step;
        int newestX;
        int barWidth;  // step minus the gap; at most 0 means no bar shows
    };

    // The style sheet's background: the dark plot area and its border.
    void paintBackground(QPainter& painter) const;
    // The columns of a series of `capacity` samples at the current width; false when the graph is too
    // narrow for one column per slot, and then it shows nothing but its background.
    bool columnsFor(int capacity, Columns* columns) const;
    // The x of each of the first `count` samples of a series, taken at `takenMs` (newest first),
    // that lie in the span shown: a slot a second from the newest, or while stale from now on the
    // session's clock, to the nearest. Fewer than `count` when older ones lie beyond it.
    QList<int> sampleColumns(const QList<qint64>& takenMs, int count, const Columns& columns, int capacity) const;
    // `live`, or while stale a grey of its lightness: the series stay apart, none reads as current.
    QColor seriesColour(const QColor& live) const;
    // The span shown, along the bottom: a tick every ten seconds and the oldest end's age.
    void paintTimeAxis(QPainter& painter, const Columns& columns, int capacity) const;
    // The scale labels, in white, at the right edge.
    void paintLabels(QPainter& painter, const QString& upper, const QString& lower) const;
    // While stale, at the top left: "Stale: " and how long the newest sample of the series taken
    // at `takenMs` (newest first) is old.
    void paintStaleness(QPainter& painter, const QList<qint64>& takenMs) const;

    int slotCount;
    int minValue = 0;
    int maxValue = 1;
    int barGap = 2;
    int barWidth = 4;  // only sets the minimum width
    int axisUnit = 1;  // 1: the scale is labelled in ms; 0: in percent
    bool enabled = true;

private:
    QPointer<GraphData> shownSeries;  // a member of the shown codec's session; not owned
    bool isStale_ = false;
    QTimer slide_;  // while stale: a repaint a second, so that the series slides
};
