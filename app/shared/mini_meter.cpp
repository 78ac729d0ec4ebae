#include "app/shared/mini_meter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QRegion>

#include <algorithm>
#include <utility>

#include "app/shared/frame_clock.h"
#include "app/shared/meter_widget.h"
#include "sessions/ipc_object.h"

namespace {

// The meter's geometry, in pixels: a margin round the two frames and a gap between them; inside a
// frame a margin at the sides and at the ends, and a gap between its two bars.
constexpr int kMargin = 1;
constexpr int kFrameGap = 2;
constexpr int kBarSideMargin = 2;
constexpr int kBarEndMargin = 1;
constexpr int kBarGap = 1;

// The frames' colour ("grey").
const QColor kFrameGrey(128, 128, 128);

// `length` less `gap` shared between two parts, the first the larger by the odd pixel: how a box
// layout shares it between two equal widgets, which is how the meter was once laid out.
std::pair<int, int> split(int length, int gap) {
    const int room = std::max(0, length - gap);
    return {room - room / 2, room / 2};
}

// The columns [from, to) of a bar whose pixels differ between two extents on `length` pixels.
std::pair<int, int> changedColumns(const LevelBar::Extent& before, const LevelBar::Extent& after, int length) {
    int from = length;
    int to = 0;
    const auto include = [&](int start, int end) {
        from = std::min(from, start);
        to = std::max(to, end);
    };
    if (before.covered != after.covered) {
        include(length - std::max(before.covered, after.covered), length - std::min(before.covered, after.covered));
    }
    if (before.hasMark != after.hasMark || (before.hasMark && before.markStart != after.markStart)) {
        if (before.hasMark) include(before.markStart, before.markStart + LevelBar::kMarkThickness);
        if (after.hasMark) include(after.markStart, after.markStart + LevelBar::kMarkThickness);
    }
    return {std::max(from, 0), std::min(to, length)};
}

}  // namespace

MiniMeter::MiniMeter(QWidget* parent) : QWidget(parent) {
    if (objectName().isEmpty()) setObjectName(QStringLiteral("MiniMeter"));
    // Every pixel inside the mask is painted; the mask is set with the size.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(180, 50);
    setMinimumSize(90, 25);
    setMaximumSize(180, 60);
    setWindowTitle(QCoreApplication::translate("MiniMeter", "Form"));
    layOutBars();
}

MiniMeter::~MiniMeter() {
    if (isScheduled_ && clock_) clock_->cancel(*this);
}

IPCObject* MiniMeter::session() const {
    return session_.data();
}

void MiniMeter::showLevelsOf(IPCObject* session) {
    stopWatching();
    if (session_) disconnect(session_, &IPCObject::figuresFreshnessChanged, this, &MiniMeter::showFreshness);
    if (session_ != session) showWaiting();
    session_ = session;
    readReports_ = session ? session->levelReportCount() : 0;
    // Rare, and a meter out of sight must still come back grey: always heard.
    if (session) connect(session, &IPCObject::figuresFreshnessChanged, this, &MiniMeter::showFreshness);
    showFreshness();
    if (isVisible()) startWatching();
}

void MiniMeter::showFreshness() {
    const bool isStale = session_ && session_->areLevelsStale();
    if (isStale_ == isStale) return;
    isStale_ = isStale;
    litLook_ = QPixmap();
    update();
}

void MiniMeter::startWatching() {
    if (isWatching_ || !session_) return;
    connect(session_, &IPCObject::levelsReported, this, &MiniMeter::markDirty);
    isWatching_ = true;
    if (hasUnreadLevels()) markDirty();
}

void MiniMeter::stopWatching() {
    if (!isWatching_) return;
    if (session_) disconnect(session_, &IPCObject::levelsReported, this, &MiniMeter::markDirty);
    isWatching_ = false;
}

bool MiniMeter::hasUnreadLevels() const {
    return session_ && session_->levelReportCount() != readReports_;
}

void MiniMeter::markDirty() {
    if (isScheduled_) return;
    if (!clock_) clock_ = FrameClock::of(*this);
    if (!clock_) {
        showNewestLevels();
        return;
    }
    isScheduled_ = true;
    clock_->schedule(*this);
}

void MiniMeter::showNewestLevels() {
    isScheduled_ = false;
    if (!hasUnreadLevels()) return;
    // Out of sight, the meter stops listening until it is painted again (scrolled back, say).
    if (!FrameClock::isInSight(*this)) {
        stopWatching();
        return;
    }
    readReports_ = session_->levelReportCount();
    std::array<float, 8> db;
    if (session_->newestLevels(db)) levels(db[0], db[1], db[2], db[3]);
}

bool MiniMeter::event(QEvent* event) {
    // A row's meter is made before the tree takes it into its window: the clock is looked up again.
    if (event->type() == QEvent::ParentChange) {
        if (isScheduled_ && clock_) clock_->cancel(*this);
        isScheduled_ = false;
        clock_.clear();
    }
    return QWidget::event(event);
}

void MiniMeter::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    startWatching();
}

void MiniMeter::hideEvent(QHideEvent* event) {
    stopWatching();
    QWidget::hideEvent(event);
}

void MiniMeter::resizeEvent(QResizeEvent*) {
    layOutBars();
}

void MiniMeter::layOutBars() {
    const QRect inside = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    const auto [rxHeight, txHeight] = split(inside.height(), kFrameGap);
    frames_ = {QRect(inside.left(), inside.top(), std::max(0, inside.width()), rxHeight),
               QRect(inside.left(), inside.top() + rxHeight + kFrameGap, std::max(0, inside.width()), txHeight)};
    for (size_t pair = 0; pair < frames_.size(); ++pair) {
        const QRect& frame = frames_[pair];
        const int left = frame.left() + kBarSideMargin;
        const int width = std::max(0, frame.width() - 2 * kBarSideMargin);
        const auto [upper, lower] = split(frame.height() - 2 * kBarEndMargin, kBarGap);
        barRects_[2 * pair] = QRect(left, frame.top() + kBarEndMargin, width, upper);
        barRects_[2 * pair + 1] = QRect(left, frame.top() + kBarEndMargin + upper + kBarGap, width, lower);
    }
    setMask(QRegion(frames_[0]) + QRegion(frames_[1]));
    litLook_ = QPixmap();
    waitingLook_ = QPixmap();
}

const QPixmap& MiniMeter::litLook() {
    if (litLook_.isNull()) {
        litLook_ = isStale_ ? look(QStringLiteral("stale"), {kMeterStale})
                            : look(QStringLiteral("lit"), {meterGradient(Qt::Horizontal)});
    }
    return litLook_;
}

const QPixmap& MiniMeter::waitingLook() {
    if (waitingLook_.isNull()) waitingLook_ = look(QStringLiteral("waiting"), {kMeterUnlit, meterAwaitingHatch()});
    return waitingLook_;
}

QPixmap MiniMeter::look(const QString& name, std::initializer_list<QBrush> fills) {
    const qreal ratio = devicePixelRatioF();
    const QString key = QStringLiteral("MiniMeter %1x%2@%3 %4").arg(width()).arg(height()).arg(ratio).arg(name);
    QPixmap shown;
    if (QPixmapCache::find(key, &shown)) return shown;
    shown = QPixmap(size() * ratio);
    shown.setDevicePixelRatio(ratio);
    // Opaque all over (outside the frames it is masked away), so that it is copied, not blended.
    shown.fill(kFrameGrey);
    QPainter painter(&shown);
    for (const QRect& bar : barRects_) {
        for (const QBrush& fill : fills) painter.fillRect(bar, fill);
    }
    painter.end();
    QPixmapCache::insert(key, shown);
    return shown;
}

void MiniMeter::paintEvent(QPaintEvent* event) {
    startWatching();
    // Only what lies inside its parents: a repaint asked while the meter was in sight may be served
    // once its row has moved out of the tree's viewport (sorted, scrolled or hidden), and Qt then
    // asks a masked, opaque widget for it there, where nothing would paint over it again.
    const QRegion inSight = event->region() & FrameClock::shownRect(*this);
    if (inSight.isEmpty()) return;
    const QPixmap& shownLook = hasLevels_ ? litLook() : waitingLook();
    const qreal ratio = shownLook.devicePixelRatio();
    QPainter painter(this);
    for (const QRect& dirty : inSight) {
        painter.drawPixmap(QRectF(dirty), shownLook,
                           QRectF(QPointF(dirty.topLeft()) * ratio, QSizeF(dirty.size()) * ratio));
        if (!hasLevels_) continue;
        for (size_t k = 0; k < bars_.size(); ++k) {
            const QRect& bar = barRects_[k];
            const LevelBar::Extent shown = bars_[k].extent(bar.width(), true);
            const QRect unlit = QRect(bar.right() + 1 - shown.covered, bar.top(), shown.covered, bar.height()) & dirty;
            if (!unlit.isEmpty()) painter.fillRect(unlit, kMeterUnlit);
            if (!shown.hasMark) continue;
            const QRect mark =
                QRect(bar.left() + shown.markStart, bar.top(), LevelBar::kMarkThickness, bar.height()) & bar & dirty;
            if (!mark.isEmpty()) painter.fillRect(mark, kMeterMark);
        }
    }
}

MeterBars<LevelBar> MiniMeter::levelBars() {
    return MeterBars<LevelBar>(bars_[kRxl], bars_[kRxr], bars_[kTxl], bars_[kTxr]);
}

MiniMeter::Extents MiniMeter::extents() const {
    Extents shown;
    for (size_t k = 0; k < bars_.size(); ++k) shown[k] = bars_[k].extent(barRects_[k].width(), true);
    return shown;
}

void MiniMeter::repaintChanges(const Extents& before) {
    const Extents after = extents();
    QRect changed;
    for (size_t k = 0; k < bars_.size(); ++k) {
        const QRect& bar = barRects_[k];
        const auto [from, to] = changedColumns(before[k], after[k], bar.width());
        if (from < to) changed |= QRect(bar.left() + from, bar.top(), to - from, bar.height());
    }
    repaintInSight(changed);
}

void MiniMeter::repaintInSight(const QRect& changed) {
    // A meter scrolled or clipped out of sight keeps its levels and shows them when it is next
    // painted. One in a minimised window asks all the same: Qt paints it when the window is shown
    // again, which otherwise only puts back what the screen showed before.
    const QRect shown = FrameClock::shownRect(*this);
    if (!changed.isEmpty() && !shown.isEmpty()) update(changed & shown);
}

void MiniMeter::showLevelsSince(const Extents& before) {
    if (hasLevels_) {
        repaintChanges(before);
        return;
    }
    hasLevels_ = true;
    repaintInSight(rect());
}

void MiniMeter::showWaiting() {
    if (!hasLevels_) return;
    hasLevels_ = false;
    repaintInSight(rect());
}

void MiniMeter::levels(float rxlDb, float rxrDb, float txlDb, float txrDb) {
    const Extents before = extents();
    levelBars().levels(rxlDb, rxrDb, txlDb, txrDb);
    showLevelsSince(before);
}

void MiniMeter::allLevels(float rxlDb, float rxrDb, float txlDb, float txrDb, float rxlSecond, float rxrSecond,
                          float txlSecond, float txrSecond) {
    const Extents before = extents();
    levelBars().allLevels({rxlDb, rxrDb, txlDb, txrDb, rxlSecond, rxrSecond, txlSecond, txrSecond});
    showLevelsSince(before);
}

void MiniMeter::reset() {
    if (session_) readReports_ = session_->levelReportCount();
    levelBars().reset();
    showWaiting();
}
