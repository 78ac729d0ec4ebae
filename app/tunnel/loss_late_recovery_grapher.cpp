#include "app/tunnel/loss_late_recovery_grapher.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cstdint>

LossLateRecoveryGrapher::LossLateRecoveryGrapher(QWidget* parent)
    : QWidget(parent), Grapher(kCapacity, kValuesPerSample) {}

LossLateRecoveryGrapher::~LossLateRecoveryGrapher() = default;

void LossLateRecoveryGrapher::addSample(int key, int loss, int late, int recovery) {
    insert(key, QVector<int>{loss, late, recovery});
}

void LossLateRecoveryGrapher::scheduleRepaint() {
    update();
}

void LossLateRecoveryGrapher::makeRects(int i, int, int, const QVector<int>& sample, RectLists* rects) {
    const int h = height();
    const int barW = std::max(0, (width() - kLabelWidth) / capacity());
    // Stacked from the bottom row up: loss, then late, then recovery. A rate outside 0..100 % is
    // drawn as 0 or as the full height, so no bar leaves the graph.
    int bottom = h;
    for (int k = 0; k < kValuesPerSample && k < sample.size(); ++k) {
        const int64_t scaled = int64_t{sample.at(k)} * h / kFullScale;
        const int part = static_cast<int>(std::clamp<int64_t>(scaled, 0, h));
        (*rects)[k].append(QRect(i * barW, bottom - part, barW, part));
        bottom -= part;
    }
}

void LossLateRecoveryGrapher::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    paint(painter);
}

void LossLateRecoveryGrapher::paint(QPainter& painter) {
    paintPlotArea(*this, painter, kLabelWidth);
    const int w = width();
    const int h = height();

    int lo = 0;
    int hi = 0;
    RectLists rects(kValuesPerSample);
    layout(shownKey, &rects, &lo, &hi);
    static const QColor kBarColours[kValuesPerSample] = {QColor(119, 0, 0), QColor(221, 0, 0), QColor(68, 204, 0)};
    painter.setPen(QPen(QBrush(QColor(51, 51, 51)), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    for (int k = 0; k < kValuesPerSample; ++k) {
        painter.setBrush(kBarColours[k]);
        painter.drawRects(rects.at(k));
    }

    painter.setPen(QColor(128, 128, 128));  // the labels take the frame's colour
    const int x = w - kLabelWidth + 2;
    painter.drawText(QPoint(x, 10), QStringLiteral("100%"));
    painter.drawText(QPoint(x, h), QStringLiteral("0%"));
}
