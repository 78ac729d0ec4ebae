#include "app/tunnel/grapher.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>

Grapher::Grapher(int capacity, int valuesPerSample)
    : capacity_(std::max(1, capacity)), valuesPerSample_(std::max(0, valuesPerSample)) {}

Grapher::~Grapher() = default;

GrapherSeries Grapher::initSeries() const {
    GrapherSeries series;
    series.ring = QVector<QVector<int>>(capacity_, QVector<int>(valuesPerSample_, 0));
    series.next = 0;
    return series;
}

int Grapher::insert(int key, const QVector<int>& sample) {
    auto found = samples.find(key);
    if (found == samples.end()) found = samples.insert(key, initSeries());
    GrapherSeries& series = found.value();
    QVector<int>& stored = series.ring[series.next];
    stored = sample;  // shares the caller's ints unless the size has to be fixed
    if (stored.size() != valuesPerSample_) stored.resize(valuesPerSample_);
    series.next = (series.next + 1) % capacity_;
    return series.next == 0 ? 1 : 0;
}

void Grapher::values(int key, int* lo, int* hi) {
    *lo = 0;
    *hi = 0;
    const auto found = samples.constFind(key);
    if (found == samples.constEnd()) return;
    for (const QVector<int>& sample : found->ring) {
        for (int value : sample) {
            *lo = std::min(*lo, value);
            *hi = std::max(*hi, value);
        }
    }
}

void Grapher::layout(int key, RectLists* rects, int* lo, int* hi) {
    values(key, lo, hi);
    const auto found = samples.constFind(key);
    if (found == samples.constEnd()) return;
    for (int i = 0; i < capacity_; ++i) makeRects(i, *lo, *hi, found->ring.at((found->next + i) % capacity_), rects);
}

void Grapher::clear() {
    samples = QMap<int, GrapherSeries>();
}

void Grapher::remove(int key) {
    samples.remove(key);
}

void Grapher::retainKeys(const QSet<int>& keep) {
    for (auto it = samples.begin(); it != samples.end();) {
        if (keep.contains(it.key()))
            ++it;
        else
            it = samples.erase(it);
    }
}

const QVector<int>* Grapher::slot(int key, int i) const {
    const auto found = samples.constFind(key);
    if (found == samples.constEnd()) return nullptr;
    return &found->ring.at((found->next + i) % capacity_);
}

int Grapher::slotIndex(int key, int i) const {
    const auto found = samples.constFind(key);
    if (found == samples.constEnd()) return -1;
    return (found->next + i) % capacity_;
}

void Grapher::paintPlotArea(QWidget& widget, QPainter& painter, int labelWidth) {
    QStyleOption option;
    option.initFrom(&widget);
    widget.style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, &widget);

    const int w = widget.width();
    const int h = widget.height();
    if (w <= labelWidth) return;
    painter.setPen(QPen(QBrush(QColor(128, 128, 128)), 1.5, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(QColor(30, 30, 30));
    painter.drawRect(QRect(QPoint(0, 0), QPoint(w - labelWidth - 1, h - 1)));
}
