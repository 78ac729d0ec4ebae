#include "app/shared/delay_graph.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

#include "app/shared/view_colours.h"
#include "sessions/delay_graph_data.h"

namespace {

const QColor kTargetLine(232, 224, 0);

// The scale of the newest `count` samples of a delay series, in tenths of a millisecond. 64 bits:
// the codec's figures may be anywhere in the int range, and the headroom and the span must not
// overflow.
struct Scale {
    qint64 hi = 0;
    qint64 span = 0;

    Scale(const DelaySeries& series, int count) {
        qint64 lo = 0;
        for (int i = 0; i < count; ++i) {
            for (const qint64 value : {qint64{series.points.at(i).bufferDelay}, qint64{series.desiredDelay.at(i)}}) {
                hi = std::max(hi, value);
                lo = std::min(lo, value);
            }
        }
        hi += hi >> 4;  // one sixteenth of headroom
        span = hi - lo;
    }

    // The height of `value` in a graph `height` pixels high, held to 0..height. On an empty scale
    // any positive value fills the graph.
    int pixels(qint64 value, int height) const {
        if (span == 0) return value > 0 ? height : 0;
        const double scaled = static_cast<double>(value) / static_cast<double>(span) * height;
        return static_cast<int>(std::clamp(scaled, 0.0, static_cast<double>(height)));
    }
};

}  // namespace

DelayGraph::DelayGraph(QWidget* parent) : GraphWidget(kSlotCount, parent) {}

DelayGraph::~DelayGraph() = default;

void DelayGraph::setSeries(DelayGraphData* series) {
    if (replaceSeries(series) && series)
        connect(series, &GraphData::dataChanged, this, &DelayGraph::receiveDelayUpdate);
}

void DelayGraph::receiveDelayUpdate() {
    update();
}

void DelayGraph::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRegion(event->region());
    const auto* series = static_cast<const DelayGraphData*>(shownData());
    paintBackground(painter);
    if (!series || !series->hasData(series->peer())) return;
    Columns columns{};
    if (!columnsFor(series->capacity(), &columns)) return;
    const DelaySeries samples = series->series(series->peer());
    const QList<int> xs = sampleColumns(samples.takenMs, std::min(samples.points.size(), samples.desiredDelay.size()),
                                        columns, series->capacity());
    const Scale scale(samples, xs.size());
    const int h = height();

    QPolygon targets;
    for (int i = 0; i < xs.size(); ++i) {
        const int x = xs.at(i);
        const DelayPoint& point = samples.points.at(i);
        // The buffer delay beyond the jitter at the bottom, the jitter stacked on it.
        const int delay = scale.pixels(qint64{point.bufferDelay} - point.packetJitter, h);
        const int jitter = std::min(scale.pixels(point.packetJitter, h), h - delay);
        if (columns.barWidth > 0) {
            painter.fillRect(x, h - delay, columns.barWidth, delay, seriesColour(delayColor));
            painter.fillRect(x, h - delay - jitter, columns.barWidth, jitter, seriesColour(jitterColor));
        }
        targets << QPoint(x, h - scale.pixels(samples.desiredDelay.at(i), h));
    }
    paintTimeAxis(painter, columns, series->capacity());
    if (targets.size() > 1) {
        painter.setPen(QPen(seriesColour(kTargetLine), 3));
        painter.drawPolyline(targets);
    }

    QString upper;
    QString lower;
    if (axisUnit == 1) {
        upper = formatAxisValue(scale.hi) + QStringLiteral("ms");
        lower = QStringLiteral("0ms");
    } else if (axisUnit == 0) {
        upper = formatAxisValue(scale.hi) + QStringLiteral("%");
        lower = QStringLiteral("0%");
    }
    paintLabels(painter, upper, lower);
    paintStaleness(painter, samples.takenMs);
}
