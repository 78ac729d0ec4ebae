#pragma once

#include "app/shared/graph_widget.h"

class LossGraphData;

// The receive frame-loss graph ("RX Frame Loss") of the selected peer connection: per sample a bar
// of the frame loss, with lines of the remote loss and the correction, on a fixed 0 to 100 % scale
// (values are tenths of a percent).
//
// Threads: GUI thread only.
class LossGraph : public GraphWidget {
    Q_OBJECT

public:
    static constexpr int kSlotCount = 30;
    // A value of this many tenths of a percent reaches the top.
    static constexpr int kFullScale = 1000;

    explicit LossGraph(QWidget* parent = nullptr);
    ~LossGraph() override;

    // Paints `series` (a member of the shown codec's session) from now on, for the peer the series
    // names; null shows the background only.
    void setSeries(LossGraphData* series);

public slots:
    void receiveLossUpdate();

protected:
    void paintEvent(QPaintEvent* event) override;
};
