#include "app/tunnel/delay_slider.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kMaxLabelWidth = 60;
constexpr int kTitleWidth = 40;
constexpr int kBandHeight = 10;
constexpr int kDotSize = 10;

// `part` of `whole` in whole percent, truncated toward zero and kept to 0..100: delay points
// outside the scale or out of order must not draw outside the groove.
int percent_of(int64_t part, int64_t whole) {
    return static_cast<int>(std::clamp<int64_t>(part * 100 / whole, 0, 100));
}

}  // namespace

DelaySlider::DelaySlider(QWidget* parent)
    : QSlider(Qt::Horizontal, parent),
      minLabel(new QLabel(QStringLiteral("0ms"), this)),
      maxLabel(new QLabel(this)),
      titleLabel(new QLabel(this)) {
    setMinimum(0);
    setMinimumHeight(60);
    minLabel->move(0, 0);

    maxLabel->setAlignment(Qt::AlignLeft);
    maxLabel->setFixedWidth(kMaxLabelWidth);
    maxLabel->move(width() - kMaxLabelWidth, 0);
    maxLabel->setText(QStringLiteral("%1ms").arg(kEmptyScaleMs));

    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setFixedWidth(kTitleWidth);
    titleLabel->move(width() / 2 - kTitleWidth / 2, 0);
    titleLabel->setText(QStringLiteral("Delay"));
}

DelaySlider::~DelaySlider() = default;

void DelaySlider::resizeEvent(QResizeEvent* event) {
    QSlider::resizeEvent(event);
    // Child positions are the slider's own coordinates: the slider's place in its parent plays
    // no part. The title's right edge sits at the middle.
    maxLabel->move(width() - kMaxLabelWidth, 0);
    titleLabel->move(width() / 2 - titleLabel->width(), 0);
}

void DelaySlider::keyPressEvent(QKeyEvent* event) {
    // Auto-repeat comes as further presses (and releases) marked as such, between the real ones.
    if (!event->isAutoRepeat()) heldKey = event->key();
    QSlider::keyPressEvent(event);
}

void DelaySlider::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat() && event->key() == heldKey) heldKey = 0;
    QSlider::keyReleaseEvent(event);
}

void DelaySlider::focusOutEvent(QFocusEvent* event) {
    // The release of a key goes to the widget with the focus then, no longer this one.
    heldKey = 0;
    QSlider::focusOutEvent(event);
}

void DelaySlider::setScaleMaximum(int maximum) {
    setMaximum(maximum);
    maxLabel->setText(QStringLiteral("%1ms").arg(maximum));
    update();
}

void DelaySlider::setMarks(int delay, int maximum) {
    if (maximum <= 0) return;
    packetDelayPercent = percent_of(delay, maximum);
    hasFigures = true;
    setScaleMaximum(maximum);
}

void DelaySlider::setDelayPoints(const std::vector<int>& points, int maximum) {
    if (maximum <= 0 || points.size() != static_cast<size_t>(kBandCount)) return;
    int64_t previous = 0;
    int used = 0;
    for (int k = 0; k < kBandCount - 1; ++k) {
        const int64_t point = points[static_cast<size_t>(k)];
        segments[static_cast<size_t>(k)] = std::min(percent_of(point - previous, maximum), 100 - used);
        used += segments[static_cast<size_t>(k)];
        previous = point;
    }
    // The last band takes what the truncations leave, so the five always add up to 100.
    segments[kBandCount - 1] = 100 - used;
    hasFigures = true;
    setScaleMaximum(maximum);
}

void DelaySlider::clear() {
    hasFigures = false;
    packetDelayPercent = 0;
    std::fill(segments.begin(), segments.end(), 0);
    setScaleMaximum(kEmptyScaleMs);
}

void DelaySlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (!hasFigures) return;

    QPainter painter(this);
    const int w = width() + 1;
    const int top = height() / 2;
    static const QColor kBandColours[kBandCount] = {QColor(255, 0, 0), QColor(255, 187, 0), QColor(255, 255, 0),
                                                    QColor(0, 255, 0), QColor(238, 238, 238)};
    // Each band spans rows top .. top + 9 with its outline; the next band starts on the column where
    // the previous one's outline ends.
    int x = 0;
    for (int k = 0; k < kBandCount; ++k) {
        const int bandWidth = w * segments[static_cast<size_t>(k)] / 100;
        painter.setBrush(kBandColours[k]);
        painter.drawRect(x, top, bandWidth, kBandHeight - 1);
        x += bandWidth;
    }
    const int dotX = w * packetDelayPercent / 100;
    painter.setBrush(Qt::black);
    painter.drawEllipse(dotX - kDotSize / 2, top, kDotSize, kDotSize);
}
