#pragma once

#include <QVector>
#include <QWidget>

#include "app/tunnel/grapher.h"
#include "sessions/tunnel_loss_sink.h"

class QPainter;

// The loss, late and recovery graph of the tunnel page: one bar per statistics report of the
// tunnel session, the newest at the right, stacking the three rates on a fixed 0 to 100 % scale
// (values in tenths of a percent).
//
// The tunnel session feeds it through TunnelLossSink; it paints key 0.
// Threads: GUI thread only.
class LossLateRecoveryGrapher : public QWidget, public Grapher, public TunnelLossSink {
public:
    static constexpr int kCapacity = 60;
    static constexpr int kValuesPerSample = 3;
    static constexpr int kLabelWidth = 40;
    // A rate of this many tenths of a percent fills the whole height.
    static constexpr int kFullScale = 1000;

    explicit LossLateRecoveryGrapher(QWidget* parent = nullptr);
    ~LossLateRecoveryGrapher() override;

    void addSample(int key, int loss, int late, int recovery) override;
    void scheduleRepaint() override;

    void makeRects(int i, int lo, int hi, const QVector<int>& sample, RectLists* rects) override;
    // Both bases have a layout(): the widget's layout manager and the grapher's bar layout.
    using Grapher::layout;
    using QWidget::layout;
    int plotWidth() const { return width() - kLabelWidth; }
    int plotHeight() const { return height(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paint(QPainter& painter);

    int shownKey = 0;
};
