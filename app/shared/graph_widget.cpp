#include "app/shared/graph_widget.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <cstdlib>

#include "ipc/base/ipc_clock.h"
#include "text/connection_fault_text.h"

namespace {

// A slot a second, as the series keep them: while stale the series slides by one at this pace.
constexpr qint64 kSlotMs = GraphData::kShownSpanMs / GraphData::kCapacity;

qint64 nowMs() {
    return ipc_now_us() / 1000;
}

}  // namespace

GraphWidget::GraphWidget(int slotCount_, QWidget* parent) : QWidget(parent), slotCount(slotCount_) {
    setMinimumSize((barGap + barWidth) * slotCount + 20, 120);
    setStyleSheet(QStringLiteral("GraphWidget{ background-color: #404040; border: grey solid 1px;}"));
    slide_.setInterval(kSlotMs);
    connect(&slide_, &QTimer::timeout, this, QOverload<>::of(&QWidget::update));
}

GraphWidget::~GraphWidget() = default;

QString GraphWidget::formatAxisValue(qint64 tenths) {
    const QString sign = tenths < 0 ? QStringLiteral("-") : QString();
    const quint64 magnitude = tenths < 0 ? 0 - static_cast<quint64>(tenths) : static_cast<quint64>(tenths);
    return sign + QString::number(magnitude / 10) + QLatin1Char('.') + QString::number(magnitude % 10);
}

void GraphWidget::setRange(int min, int max) {
    minValue = min;
    maxValue = max;
}

int GraphWidget::valueToPixels(int value, int min, int max, int pixels) {
    if (max == min) return value != 0 ? pixels : 0;
    return static_cast<int>(static_cast<double>(value) / (static_cast<double>(max) - min) * pixels);
}

void GraphWidget::enable() {
    enabled = true;
}

void GraphWidget::disable() {
    enabled = false;
}

void GraphWidget::setStale(bool isStale) {
    if (isStale_ == isStale) return;
    isStale_ = isStale;
    if (isStale) {
        slide_.start();
    } else {
        slide_.stop();
    }
    update();
}

bool GraphWidget::replaceSeries(GraphData* next) {
    if (shownSeries == next) return false;
    if (shownSeries) disconnect(shownSeries, nullptr, this, nullptr);
    shownSeries = next;
    setStale(false);
    update();
    return true;
}

void GraphWidget::paintBackground(QPainter& painter) const {
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

bool GraphWidget::columnsFor(int capacity, Columns* columns) const {
    const int plotWidth = width() - kLabelWidth;
    if (capacity <= 0 || plotWidth / capacity < 1) return false;
    columns->step = plotWidth / capacity;
    columns->newestX = plotWidth - columns->step;
    columns->barWidth = columns->step - barGap;
    return true;
}

QList<int> GraphWidget::sampleColumns(const QList<qint64>& takenMs, int count, const Columns& columns,
                                      int capacity) const {
    QList<int> xs;
    if (takenMs.isEmpty()) return xs;
    const qint64 newestMs = isStale_ ? std::max(takenMs.at(0), nowMs()) : takenMs.at(0);
    for (int i = 0; i < std::min(count, takenMs.size()); ++i) {
        const qint64 slot = (std::max<qint64>(newestMs - takenMs.at(i), 0) + kSlotMs / 2) / kSlotMs;
        if (slot >= capacity) break;
        xs << columns.newestX - static_cast<int>(slot) * columns.step;
    }
    return xs;
}

QColor GraphWidget::seriesColour(const QColor& live) const {
    if (!isStale_) return live;
    const int lightness = live.lightness();
    return QColor(lightness, lightness, lightness);
}

void GraphWidget::paintTimeAxis(QPainter& painter, const Columns& columns, int capacity) const {
    painter.setPen(QColor(160, 160, 160));
    const int bottom = height() - 1;
    for (int seconds = 10; seconds <= capacity; seconds += 10) {
        const int x = columns.newestX + columns.step - seconds * columns.step;
        painter.drawLine(x, bottom - kTickLength, x, bottom);
    }
    painter.setFont(font());
    // On the graph's own background: the oldest bars stand where it goes, and would hide it.
    const QString label = tr("-%1 s").arg(capacity);
    const QPoint baseline(2, bottom - kTickLength - 1);
    const QRect text = painter.fontMetrics().boundingRect(label).translated(baseline);
    painter.fillRect(QRect(QPoint(0, text.top()), QPoint(text.right() + 2, bottom)), palette().color(QPalette::Window));
    painter.drawText(baseline, label);
}

void GraphWidget::paintLabels(QPainter& painter, const QString& upper, const QString& lower) const {
    painter.setPen(QColor(255, 255, 255));
    painter.setFont(font());
    painter.drawText(QPoint(width() - 75, 14), upper);
    painter.drawText(QPoint(width() - 75, height() - 2), lower);
}

void GraphWidget::paintStaleness(QPainter& painter, const QList<qint64>& takenMs) const {
    if (!isStale_ || takenMs.isEmpty()) return;
    const qint64 seconds = std::max<qint64>(nowMs() - takenMs.at(0), 0) / kSlotMs;
    const QString text = staleStatusText(tr("no figures for %n s", nullptr, static_cast<int>(seconds)));
    painter.setFont(font());
    const QPoint baseline(4, painter.fontMetrics().ascent() + 3);
    const QRect box = painter.fontMetrics().boundingRect(text).translated(baseline).adjusted(-2, -1, 2, 1);
    // On the plot's own background, so that no bar or line of the series runs through the words.
    painter.fillRect(box, palette().color(QPalette::Window));
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(baseline, text);
}
