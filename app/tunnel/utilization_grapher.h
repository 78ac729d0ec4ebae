#pragma once

#include <QColor>
#include <QVector>
#include <QWidget>

#include "app/tunnel/grapher.h"
#include "sessions/tunnel_utilization_sink.h"

class QPainter;

// The utilization graph of the tunnel page ("Kbps"): one bar per statistics report of the tunnel
// session, the newest at the right, stacking the throughputs of the tunnel's first three
// connections in their colours. Bars from before the last change of the set of connections are
// drawn in grey, so an old bar is never read as belonging to today's connections.
//
// The tunnel session feeds it through TunnelUtilizationSink; it paints key 0.
// Threads: GUI thread only.
class UtilizationGrapher : public QWidget, public Grapher, public TunnelUtilizationSink {
public:
    static constexpr int kCapacity = 60;
    static constexpr int kValuesPerSample = 3;
    // Columns at the right kept for the scale labels.
    static constexpr int kLabelWidth = 40;

    explicit UtilizationGrapher(QWidget* parent = nullptr);
    ~UtilizationGrapher() override;

    // Keeps the first three values (missing ones 0). `reset` turns every older bar grey.
    void addSample(int key, const QVector<int>& values, bool reset) override;
    void scheduleRepaint() override;

    // The sum of each slot's values sets the scale.
    void values(int key, int* lo, int* hi) override;
    void makeRects(int i, int lo, int hi, const QVector<int>& sample, RectLists* rects) override;
    // Both bases have a layout(): the widget's layout manager and the grapher's bar layout.
    using Grapher::layout;
    using QWidget::layout;
    // Like layout(), visiting only the slots whose stale flag equals `stale`.
    void layoutMarked(int key, RectLists* rects, int* lo, int* hi, bool stale);
    void markAllStale();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paint(QPainter& painter);
    int barWidth() const;

    int shownKey = 0;
    QVector<QColor> seriesColours;  // bar colour of value 0, 1, 2; also the connections' colours
    QVector<QColor> staleColours;   // the same for a stale bar, in greys
    QVector<bool> stale;            // per ring slot of the shown key: drawn grey
    int staleCursor = 0;            // the slot whose flag the next sample clears
};
