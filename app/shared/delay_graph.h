#pragma once

#include "app/shared/graph_widget.h"

class DelayGraphData;

// The receive delay graph ("RX Delay") of the selected peer connection: per sample a bar of the
// buffer delay (the part beyond the jitter, with the jitter stacked on top) and a line of the
// target delay, on a scale from the smallest to the largest value plus one sixteenth; the upper
// label gives the top of the scale in ms (values are tenths of a millisecond).
//
// Threads: GUI thread only.
class DelayGraph : public GraphWidget {
    Q_OBJECT

public:
    static constexpr int kSlotCount = 30;

    explicit DelayGraph(QWidget* parent = nullptr);
    ~DelayGraph() override;

    // Paints `series` (a member of the shown codec's session) from now on, for the peer the series
    // names; null shows the background only.
    void setSeries(DelayGraphData* series);

public slots:
    void receiveDelayUpdate();

protected:
    void paintEvent(QPaintEvent* event) override;
};
