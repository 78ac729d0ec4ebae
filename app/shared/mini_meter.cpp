#include "app/shared/mini_meter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "app/shared/frame_clock.h"
#include "app/shared/meter_widget.h"
#include "sessions/ipc_object.h"

namespace {

// A grey frame for two bars, one above the other.
QWidget* makePairFrame(QWidget* parent, const QString& name, QVBoxLayout** layout,
                       const QString& layoutName) {
    auto* frame = new QWidget(parent);
    frame->setObjectName(name);
    frame->setStyleSheet(QStringLiteral("background-color: grey;"));
    *layout = new QVBoxLayout(frame);
    (*layout)->setObjectName(layoutName);
    (*layout)->setSpacing(1);
    (*layout)->setContentsMargins(2, 1, 2, 1);
    return frame;
}

MeterWidget* addBar(QWidget* frame, QVBoxLayout* layout, const QString& name) {
    auto* bar = new MeterWidget(frame);
    bar->setObjectName(name);
    layout->addWidget(bar);
    return bar;
}

}  // namespace

MiniMeter::MiniMeter(QWidget* parent) : QWidget(parent) {
    if (objectName().isEmpty()) setObjectName(QStringLiteral("MiniMeter"));
    verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(2);
    verticalLayout->setContentsMargins(1, 1, 1, 1);
    resize(180, 50);
    setMinimumSize(90, 25);
    setMaximumSize(180, 60);
    setWindowTitle(QCoreApplication::translate("MiniMeter", "Form"));
}

void MiniMeter::buildBars() {
    if (rx) return;
    rx = makePairFrame(this, QStringLiteral("rx"), &verticalLayout_2, QStringLiteral("verticalLayout_2"));
    rxl = addBar(rx, verticalLayout_2, QStringLiteral("rxl"));
    rxr = addBar(rx, verticalLayout_2, QStringLiteral("rxr"));
    tx = makePairFrame(this, QStringLiteral("tx"), &verticalLayout_3, QStringLiteral("verticalLayout_3"));
    txl = addBar(tx, verticalLayout_3, QStringLiteral("txl"));
    txr = addBar(tx, verticalLayout_3, QStringLiteral("txr"));
    verticalLayout->addWidget(rx);
    verticalLayout->addWidget(tx);
    for (MeterWidget* bar : {rxl, rxr, txl, txr}) bar->setGradient();
    // Children made under a shown parent would be shown only later.
    if (isVisible()) {
        rx->show();
        tx->show();
    }
}

MeterBars<MeterWidget> MiniMeter::bars() {
    buildBars();
    return MeterBars<MeterWidget>(*rxl, *rxr, *txl, *txr);
}

MiniMeter::~MiniMeter() {
    if (isScheduled_ && clock_) clock_->cancel(*this);
}

void MiniMeter::showLevelsOf(IPCObject* session) {
    stopWatching();
    session_ = session;
    readReports_ = session ? session->levelReportCount() : 0;
    if (isVisible()) startWatching();
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

void MiniMeter::paintEvent(QPaintEvent*) {
    // The first sight of the meter: its bars are made once this paint is done, and show at the
    // next frame. Made during a paint, they would change the widget tree Qt is painting.
    if (!rx) QTimer::singleShot(0, this, &MiniMeter::buildBars);
    startWatching();
}

void MiniMeter::hideEvent(QHideEvent* event) {
    stopWatching();
    QWidget::hideEvent(event);
}

void MiniMeter::levels(float rxlDb, float rxrDb, float txlDb, float txrDb) {
    bars().levels(rxlDb, rxrDb, txlDb, txrDb);
}

void MiniMeter::allLevels(float rxlDb, float rxrDb, float txlDb, float txrDb, float rxlSecond,
                          float rxrSecond, float txlSecond, float txrSecond) {
    bars().allLevels({rxlDb, rxrDb, txlDb, txrDb, rxlSecond, rxrSecond, txlSecond, txrSecond});
}

void MiniMeter::reset() {
    if (session_) readReports_ = session_->levelReportCount();
    if (rx) bars().reset();  // bars not made yet show nothing
}
