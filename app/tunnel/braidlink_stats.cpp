#include "app/tunnel/braidlink_stats.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QTimer>
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

bool isLoggedIn(int state) {
    return state == IQEndpointClient::AUTHENTICATED || state == IQEndpointClient::READY;
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
        // A key, a focused wheel or a click on the groove steps the handle without a release: the
        // delay is sent once the steps pause (and the key is up, so auto-repeat is one run). A
        // drag sends at its release.
        direction->settle = new QTimer(this);
        direction->settle->setSingleShot(true);
        direction->settle->setInterval(kSettlePauseMs);
        connect(direction->settle, &QTimer::timeout, this, [this, direction] {
            if (direction->slider->isKeyHeld())
                direction->settle->start();
            else
                settleMove(*direction);
        });
        connect(direction->slider, &DelaySlider::actionTriggered, direction->settle, [direction] {
            if (!direction->slider->isSliderDown()) direction->settle->start();
        });
        connect(direction->slider, &DelaySlider::sliderPressed, direction->settle, &QTimer::stop);
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
    // After the model's own connections, so that a report has reached the model when the page
    // hears of it.
    connect(session, &IPCObject::commandRead, this,
            [this](QUuid, const QString& request, int) { commandRead(request); });
    connect(session, &IPCObject::recvTunStats, this, &BraidlinkStats::tunnelReported);
    connect(session, &IPCObject::changedState, this,
            [this](QUuid, IQEndpointClient::DEVICE_STATE state) { linkStateChanged(state); });
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
    autoModeChosen(tx);
}

void BraidlinkStats::checkRxDelayAutoChanged(int) {
    autoModeChosen(rx);
}

void BraidlinkStats::autoModeChosen(Direction& direction) {
    // The handle is the operator's at once, not only once the codec's report says so.
    direction.slider->setEnabled(!direction.autoCheck->isChecked());
    sendMaxDelay(direction);
}

void BraidlinkStats::sliderTxDelayReleased() {
    settleMove(tx);
}

void BraidlinkStats::sliderRxDelayReleased() {
    settleMove(rx);
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
    if (holdsOperatorsChoice(direction)) return;
    direction.slider->setValue(stats.max_allowed_delay);
    direction.settledDelay = direction.slider->value();
    direction.slider->setEnabled(!stats.delay_mode_auto);
    direction.autoCheck->setChecked(stats.delay_mode_auto);
}

bool BraidlinkStats::holdsOperatorsChoice(const Direction& direction) const {
    return direction.settle->isActive() || direction.slider->isSliderDown() || unreadDelays > 0 || awaitsFreshReport;
}

void BraidlinkStats::raiseToLowestDelay(Direction& direction) {
    if (!direction.autoCheck->isChecked() && direction.slider->value() < kLowestDelayMs)
        direction.slider->setValue(kLowestDelayMs);
}

void BraidlinkStats::settleMove(Direction& direction) {
    direction.settle->stop();
    raiseToLowestDelay(direction);
    const bool isMoved = direction.slider->value() != direction.settledDelay;
    if (isMoved && sendMaxDelay(direction)) return;
    // Nothing went: the reports held back while the handle moved show now.
    showDelayFigures();
}

bool BraidlinkStats::sendMaxDelay(Direction& direction) {
    // This command carries the handle as it stands: steps still settling go with it.
    direction.settle->stop();
    raiseToLowestDelay(direction);
    const bool isAuto = direction.autoCheck->isChecked();
    TunnelSession* tunnel = currentTunnelSession();
    if (!tunnel) return false;
    const int sid = tunnel->sid();
    if (!hasDecimalSid(*session, sid)) {
        qWarning().noquote() << "setMaxDelay not sent: the codec's tunnel session id is not a decimal number";
        return false;
    }
    const int delay = direction.slider->value();
    if (!isAuto && delay < kLowestDelayMs) {
        qWarning().noquote() << "setMaxDelay not sent: the codec's delay scale ends below" << kLowestDelayMs << "ms";
        return false;
    }
    session_requests::AskedRequest request(session_requests::kSetMaxDelay);
    Message::Attributes& attributes = request.attributes();
    attributes.set("remote", direction.isRemote);
    attributes.set("sid", sid);
    if (!isAuto) attributes.set("delay", delay);
    attributes.set("auto", isAuto);
    request.message().dump(kDebug, kLogCategory);
    // A command sent while logged in on a versioned link is followed by a ping, whose answer tells
    // that the codec has read it (commandRead).
    const bool isReadingTold = session->tellsCommandsRead() && isLoggedIn(session->state());
    if (!session->send(request)) return false;
    direction.settledDelay = delay;
    if (isReadingTold) ++unreadDelays;
    return true;
}

void BraidlinkStats::commandRead(const QString& request) {
    if (request != QLatin1String(session_requests::kSetMaxDelay.wire.name) || unreadDelays == 0) return;
    // A report still on its way was sent before the codec read the command: only the next one
    // shows what it made of it.
    if (--unreadDelays == 0) awaitsFreshReport = true;
}

void BraidlinkStats::tunnelReported() {
    if (!awaitsFreshReport || unreadDelays > 0) return;
    awaitsFreshReport = false;
    showDelayFigures();
}

void BraidlinkStats::linkStateChanged(int state) {
    // Commands of a link that ended are never told read; the next link's reports show the codec.
    if (isLoggedIn(state) || unreadDelays == 0) return;
    unreadDelays = 0;
    awaitsFreshReport = true;
}

void BraidlinkStats::empty() {
    unreadDelays = 0;
    awaitsFreshReport = false;
    for (Direction* direction : {&tx, &rx}) {
        direction->settle->stop();
        const QSignalBlocker sliderBlocker(direction->slider);
        const QSignalBlocker checkBlocker(direction->autoCheck);
        direction->slider->clear();
        direction->slider->setValue(0);
        direction->settledDelay = 0;
        direction->slider->setEnabled(true);
        direction->autoCheck->setChecked(false);
        direction->utilization->clear();
        direction->utilization->update();
        direction->loss->clear();
        direction->loss->update();
    }
}
