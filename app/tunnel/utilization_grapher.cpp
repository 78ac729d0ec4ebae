#include "app/tunnel/utilization_grapher.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

int clamp_to_int(int64_t value) {
    return static_cast<int>(
        std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

UtilizationGrapher::UtilizationGrapher(QWidget* parent)
    : QWidget(parent),
      Grapher(kCapacity, kValuesPerSample),
      seriesColours({QColor(204, 0, 204), QColor(0, 0, 255), QColor(0, 255, 0), QColor(204, 204, 0),
                     QColor(204, 119, 0), QColor(221, 0, 0)}),
      staleColours({QColor(68, 68, 68), QColor(102, 102, 102), QColor(136, 136, 136), QColor(170, 170, 170),
                    QColor(204, 204, 204), QColor(238, 238, 238)}),
      stale(kCapacity, false) {}

UtilizationGrapher::~UtilizationGrapher() = default;

void UtilizationGrapher::addSample(int key, const QVector<int>& values, bool reset) {
    // Throughputs are never negative; a negative figure from the codec counts as none.
    QVector<int> sample(kValuesPerSample, 0);
    for (int k = 0; k < kValuesPerSample && k < values.size(); ++k) sample[k] = std::max(0, values.at(k));
    insert(key, sample);
    if (reset) stale.fill(true);
    // The flag cleared is that of the slot just written, so the flags follow the ring even after
    // clear() has restarted it.
    const int written = slotIndex(key, capacity() - 1);
    stale[written] = false;
    staleCursor = (written + 1) % capacity();
}

void UtilizationGrapher::scheduleRepaint() {
    update();
}

void UtilizationGrapher::markAllStale() {
    stale.fill(true);
}

void UtilizationGrapher::values(int key, int* lo, int* hi) {
    *lo = 0;
    *hi = 0;
    for (int i = 0; i < capacity(); ++i) {
        const QVector<int>* sample = slot(key, i);
        if (!sample) return;
        int64_t sum = 0;
        for (int value : *sample) sum += value;
        *lo = std::min(*lo, clamp_to_int(sum));
        *hi = std::max(*hi, clamp_to_int(sum));
    }
}

int UtilizationGrapher::barWidth() const {
    return std::max(0, (width() - kLabelWidth) / capacity());
}

void UtilizationGrapher::makeRects(int i, int lo, int hi, const QVector<int>& sample, RectLists* rects) {
    const int h = height();
    const int barW = barWidth();
    int y = h;
    for (int k = 0; k < kValuesPerSample && k < sample.size(); ++k) {
        const int v = sample.at(k);
        if (v <= 0) continue;
        int top = y;
        if (hi != lo) top = clamp_to_int(y - int64_t{h} * (int64_t{v} - lo) / (int64_t{hi} - lo));
        (*rects)[k].append(QRect(i * barW, top, barW, y - top));
        y = top;
    }
}

void UtilizationGrapher::layoutMarked(int key, RectLists* rects, int* lo, int* hi, bool isStale) {
    values(key, lo, hi);
    for (int i = 0; i < capacity(); ++i) {
        const int index = slotIndex(key, i);
        if (index < 0) return;
        if (stale.at(index) == isStale) makeRects(i, *lo, *hi, *slot(key, i), rects);
    }
}

void UtilizationGrapher::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    paint(painter);
}

void UtilizationGrapher::paint(QPainter& painter) {
    paintPlotArea(*this, painter, kLabelWidth);
    const int w = width();
    const int h = height();

    int lo = 0;
    int hi = 0;
    RectLists rects(kValuesPerSample);
    layoutMarked(shownKey, &rects, &lo, &hi, false);
    painter.setPen(QColor(51, 51, 51));
    for (int k = 0; k < kValuesPerSample; ++k) {
        painter.setBrush(seriesColours.at(k));
        painter.drawRects(rects.at(k));
    }
    rects = RectLists(kValuesPerSample);
    layoutMarked(shownKey, &rects, &lo, &hi, true);
    painter.setPen(QColor(34, 34, 34));
    for (int k = 0; k < kValuesPerSample; ++k) {
        painter.setBrush(staleColours.at(k));
        painter.drawRects(rects.at(k));
    }

    painter.setPen(QColor(128, 128, 128));  // the labels take the frame's colour
    const int x = w - kLabelWidth + 2;
    painter.drawText(QPoint(x, 10), QStringLiteral("%1").arg(hi));
    painter.drawText(QPoint(x, (h >> 1) + 5), QStringLiteral("Kbps"));
    painter.drawText(QPoint(x, h), QStringLiteral("%1").arg(lo));
}
