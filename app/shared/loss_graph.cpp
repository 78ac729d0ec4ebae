#include "app/shared/loss_graph.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

#include "app/shared/view_colours.h"
#include "sessions/loss_graph_data.h"

namespace {

// The height of `value` on the fixed scale, held to the graph: rates beyond 100 % reach the top,
// negative ones stay at the bottom.
int scaled(int value, int height) {
    const double pixels = static_cast<double>(value) / LossGraph::kFullScale * height;
    return static_cast<int>(std::clamp(pixels, 0.0, static_cast<double>(height)));
}

}  // namespace

LossGraph::LossGraph(QWidget* parent) : GraphWidget(kSlotCount, parent) {
    maxValue = 100;
    axisUnit = 0;
}

LossGraph::~LossGraph() = default;

void LossGraph::setSeries(LossGraphData* series) {
    if (replaceSeries(series) && series) connect(series, &GraphData::dataChanged, this, &LossGraph::receiveLossUpdate);
}

void LossGraph::receiveLossUpdate() {
    update();
}

void LossGraph::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRegion(event->region());
    const auto* series = static_cast<const LossGraphData*>(shownData());
    paintBackground(painter);
    if (!series || !series->hasData(series->peer())) return;
    Columns columns{};
    if (!columnsFor(series->capacity(), &columns)) return;
    const LossSeries samples = series->series(series->peer());
    const int h = height();
    const QList<int> xs = sampleColumns(samples.takenMs, samples.frameLossRate.size(), columns, series->capacity());

    if (columns.barWidth > 0) {
        for (int i = 0; i < xs.size(); ++i) {
            const int bar = scaled(samples.frameLossRate.at(i), h);
            painter.fillRect(xs.at(i), h - bar, columns.barWidth, bar, seriesColour(frameLossColor));
        }
    }
    paintTimeAxis(painter, columns, series->capacity());
    const auto line = [&](const QList<int>& values, int penWidth, const QColor& colour) {
        QPolygon points;
        for (int i = 0; i < std::min(values.size(), xs.size()); ++i)
            points << QPoint(xs.at(i), h - scaled(values.at(i), h));
        if (points.size() < 2) return;
        painter.setPen(QPen(seriesColour(colour), penWidth));
        painter.drawPolyline(points);
    };
    line(samples.remoteLoss, 3, remoteLossColor);
    line(samples.correction, 1, correctionColor);
    paintLabels(painter, QStringLiteral("100%"), QStringLiteral("0%"));
    paintStaleness(painter, samples.takenMs);
}
