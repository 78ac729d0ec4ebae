#include "app/tunnel/braidlink_stats.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QtDebug>

#include "app/tunnel/delay_slider.h"
#include "app/tunnel/ifc_button.h"
#include "app/tunnel/loss_late_recovery_grapher.h"
#include "app/tunnel/utilization_grapher.h"
#include "ipc/base/logger.h"
#include "ipc/message/message.h"
#include "sessions/ipc_object.h"
#include "sessions/session_requests.h"
#include "sessions/tunnel_info.h"
#include "sessions/tunnel_session.h"
#include "text/decimal_id.h"
#include "ui_braidlink_stats.h"

namespace {

constexpr int kLogCategory = 0;
constexpr int kDebug = 6;

// The tunnel model keeps a session's id as a number and reads an id that is not a decimal number
// as 0. So the id counts only when a report the model reads (the statistics' "stats" or the
// status's "node") writes it in decimal digits; otherwise a request would name some other session.
bool namesInDecimal(const Message& report, const char* group, int sid) {
    for (unsigned g = 0; g < report.child_count(group); ++g) {
        const Message& sessions = report.get_child(group, g);
        for (unsigned s = 0; s < sessions.child_count("sess"); ++s) {
            const QString text = sessions.get_child("sess", s).attributes().get_qstring("sid", QString());
            if (readDecimalId(text) == sid) return true;
        }
    }
    return false;
}

bool hasDecimalSid(IPCObject& session, int sid) {
    Message report;
    if (session.getCachedMessage(QStringLiteral("tun_stats"), report) && namesInDecimal(report, "stats", sid))
        return true;
    return session.getCachedMessage(QStringLiteral("tunnelStatus"), report) && namesInDecimal(report, "node", sid);
}

}  // namespace

BraidlinkStats::BraidlinkStats(QWidget* parent) : QWidget(parent), ui(new Ui::BraidlinkStats) {
    ui->setupUi(this);
    connect(ui->radioTx, &QRadioButton::clicked, this, &BraidlinkStats::radioTxClicked);
    connect(ui->radioRx, &QRadioButton::clicked, this, &BraidlinkStats::radioRxClicked);

    for (Direction* direction : {&tx, &rx}) {
        const QString side = direction == &tx ? QStringLiteral("tx") : QStringLiteral("rx");
        direction->isRemote = direction == &rx;
        direction->slider = new DelaySlider(ui->delayWidget);
        direction->slider->setObjectName(side + QStringLiteral("Slider"));
        ui->delayWidgetHorizontalLayout->addWidget(direction->slider);
        direction->autoCheck = new QCheckBox(QStringLiteral("Automatic Delay Mode"), ui->delayAutoWidget);
        direction->autoCheck->setObjectName(side + QStringLiteral("AutoCheck"));
    }
    // Both checks share one place, one shown at a time; the layout sizes them once their font is
    // known, so their text is never cut.
    auto* checks = new QHBoxLayout(ui->delayAutoWidget);
    checks->setContentsMargins(0, 0, 0, 0);
    checks->addWidget(tx.autoCheck);
    checks->addWidget(rx.autoCheck);
    connect(tx.slider, &DelaySlider::sliderReleased, this, &BraidlinkStats::sliderTxDelayReleased);
    connect(rx.slider, &DelaySlider::sliderReleased, this, &BraidlinkStats::sliderRxDelayReleased);
    for (Direction* direction : {&tx, &rx}) {
        // A key or a focused wheel moves the handle without a release: the delay it shows is sent
        // once the move has set the slider's value (actionTriggered comes just before that). A
        // drag sends at its release.
        connect(direction->slider, &DelaySlider::actionTriggered, this, [this, direction] {
            if (direction->slider->isSliderDown()) return;
            QMetaObject::invokeMethod(
                this, [this, direction] { sendMaxDelay(*direction); }, Qt::QueuedConnection);
        });
    }
    connect(tx.autoCheck, &QCheckBox::stateChanged, this, &BraidlinkStats::checkTxDelayAutoChanged);
    connect(rx.autoCheck, &QCheckBox::stateChanged, this, &BraidlinkStats::checkRxDelayAutoChanged);

    for (Direction* direction : {&tx, &rx}) {
        direction->utilization = new UtilizationGrapher(ui->utilizationGroupBox);
        ui->utilizationGroupBoxHorizontalLayout->addWidget(direction->utilization);
    }
    for (Direction* direction : {&tx, &rx}) {
        direction->loss = new LossLateRecoveryGrapher(ui->lossWidget);
        ui->lossWidgetHorizontalLayout->addWidget(direction->loss);
    }
    tx.utilization->setObjectName(QStringLiteral("txUtilization"));
    rx.utilization->setObjectName(QStringLiteral("rxUtilization"));
    tx.loss->setObjectName(QStringLiteral("txLoss"));
    rx.loss->setObjectName(QStringLiteral("rxLoss"));

    ui->radioTx->setChecked(true);
    showDirection(true);
}

BraidlinkStats::~BraidlinkStats() {
    release();
}

TunnelSession* BraidlinkStats::currentTunnelSession() const {
    return session ? session->tunnelInfo.session() : nullptr;
}

void BraidlinkStats::setTunnelInfo(IPCObject* next) {
    if (session && session == next) return;
    detachTunnelInfo();
    session = next;
    if (!session) return;
    attachTunnelSession();
    TunnelInfo* model = &session->tunnelInfo;
    connect(model, &TunnelInfo::sessionCreate, this, &BraidlinkStats::tunnelSessionCreate);
    connect(model, &TunnelInfo::sessionDestroy, this, &BraidlinkStats::tunnelSessionDestroy);
    connect(model, &TunnelInfo::sessionStatsUpdate, this, &BraidlinkStats::tunnelSessionStatsUpdate);
    connect(model, &TunnelInfo::sessionDelayUpdate, this, &BraidlinkStats::tunnelSessionDelayUpdate);
}

void BraidlinkStats::detachTunnelInfo() {
    release();
    empty();
}

void BraidlinkStats::release() {
    if (session) {
        disconnect(&session->tunnelInfo, nullptr, this, nullptr);
        disconnect(session, nullptr, this, nullptr);
        session->tunnelInfo.detachSession();
    }
    session.clear();
}

void BraidlinkStats::refresh() {
    if (session) session->tunnelInfo.refresh();
}

void BraidlinkStats::attachTunnelSession() {
    TunnelSession* tunnel = currentTunnelSession();
    if (!tunnel) return;
    tunnel->txStats.utilGrapher.set(tx.utilization);
    tunnel->rxStats.utilGrapher.set(rx.utilization);
    tunnel->txStats.lossGrapher.set(tx.loss);
    tunnel->rxStats.lossGrapher.set(rx.loss);
    tunnel->setIfcWidget(ui->ifcWidget, &IFCButton::create);
    // The figures the model already holds show at once, not only after the next change.
    showDelayFigures();
}

void BraidlinkStats::tunnelSessionCreate(int) {
    attachTunnelSession();
}

void BraidlinkStats::tunnelSessionDestroy(int) {
    // Still current while the model announces its end.
    if (TunnelSession* tunnel = currentTunnelSession()) tunnel->clearIfcWidgets();
}

void BraidlinkStats::tunnelSessionStatsUpdate(int) {
    ipc_logger().log_cat(kLogCategory, kDebug, "Tunnel Session Stats Update");
    // New buttons take the visibility of the direction shown.
    if (ui->radioTx->isChecked())
        showDirection(true);
    else if (ui->radioRx->isChecked())
        showDirection(false);
}

void BraidlinkStats::tunnelSessionDelayUpdate(int) {
    ipc_logger().log_cat(kLogCategory, kDebug, "Tunnel Session Delay Update");
    showDelayFigures();
}

void BraidlinkStats::radioTxClicked(bool checked) {
    if (checked) showDirection(true);
}

void BraidlinkStats::radioRxClicked(bool checked) {
    if (checked) showDirection(false);
}

void BraidlinkStats::checkTxDelayAutoChanged(int) {
    sendMaxDelay(tx);
}

void BraidlinkStats::checkRxDelayAutoChanged(int) {
    sendMaxDelay(rx);
}

void BraidlinkStats::sliderTxDelayReleased() {
    sendMaxDelay(tx);
}

void BraidlinkStats::sliderRxDelayReleased() {
    sendMaxDelay(rx);
}

void BraidlinkStats::showDirection(bool isTransmit) {
    const Direction& shown = isTransmit ? tx : rx;
    const Direction& hidden = isTransmit ? rx : tx;
    shown.slider->show();
    hidden.slider->hide();
    shown.autoCheck->show();
    hidden.autoCheck->hide();
    shown.utilization->show();
    hidden.utilization->hide();
    shown.loss->show();
    hidden.loss->hide();
    if (TunnelSession* tunnel = currentTunnelSession()) {
        if (isTransmit)
            tunnel->showTxWidgets();
        else
            tunnel->showRxWidgets();
    }
}

void BraidlinkStats::showDelayFigures() {
    TunnelSession* tunnel = currentTunnelSession();
    if (!tunnel) return;
    showDelayFigures(tunnel->txStats, tx);
    showDelayFigures(tunnel->rxStats, rx);
}

void BraidlinkStats::showDelayFigures(const TunnelCodecStats& stats, Direction& direction) {
    // A report is not the operator: nothing it changes may send a request.
    const QSignalBlocker sliderBlocker(direction.slider);
    const QSignalBlocker checkBlocker(direction.autoCheck);
    // The fifth delay point is the top of the scale.
    const int scaleMaximum =
        stats.delay_points.size() == size_t{TunnelCodecStats::kDelayPointCount} ? stats.delay_points.back() : 0;
    direction.slider->setMarks(stats.max_packet_delay, scaleMaximum);
    direction.slider->setDelayPoints(stats.delay_points, scaleMaximum);
    direction.slider->setValue(stats.max_allowed_delay);
    direction.slider->setEnabled(!stats.delay_mode_auto);
    direction.autoCheck->setChecked(stats.delay_mode_auto);
}

void BraidlinkStats::sendMaxDelay(Direction& direction) {
    const bool isAuto = direction.autoCheck->isChecked();
    if (!isAuto && direction.slider->value() < kLowestDelayMs) direction.slider->setValue(kLowestDelayMs);
    TunnelSession* tunnel = currentTunnelSession();
    if (!tunnel) return;
    const int sid = tunnel->sid();
    if (!hasDecimalSid(*session, sid)) {
        qWarning().noquote() << "setMaxDelay not sent: the codec's tunnel session id is not a decimal number";
        return;
    }
    const int delay = direction.slider->value();
    if (!isAuto && delay < kLowestDelayMs) {
        qWarning().noquote() << "setMaxDelay not sent: the codec's delay scale ends below" << kLowestDelayMs << "ms";
        return;
    }
    session_requests::AskedRequest request(session_requests::kSetMaxDelay);
    Message::Attributes& attributes = request.attributes();
    attributes.set("remote", direction.isRemote);
    attributes.set("sid", sid);
    if (!isAuto) attributes.set("delay", delay);
    attributes.set("auto", isAuto);
    request.message().dump(kDebug, kLogCategory);
    session->send(request);
}

void BraidlinkStats::empty() {
    for (Direction* direction : {&tx, &rx}) {
        const QSignalBlocker sliderBlocker(direction->slider);
        const QSignalBlocker checkBlocker(direction->autoCheck);
        direction->slider->clear();
        direction->slider->setValue(0);
        direction->slider->setEnabled(true);
        direction->autoCheck->setChecked(false);
        direction->utilization->clear();
        direction->utilization->update();
        direction->loss->clear();
        direction->loss->update();
    }
}
