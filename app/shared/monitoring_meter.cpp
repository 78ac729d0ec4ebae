#include "app/shared/monitoring_meter.h"

#include <limits>

#include "app/shared/meter_widget.h"
#include "sessions/ipc_object.h"
#include "ui_monitoring_meter.h"

MonitoringMeter::MonitoringMeter(QWidget* parent) : QWidget(parent), ui(new Ui::MonitoringMeter) {
    ui->setupUi(this);
    scaleMarks = {{0, ui->label_0}, {-6, ui->label_6}, {-12, ui->label_12}, {-36, ui->label_36}, {-72, ui->label_72}};
    // The bar's height is only known once its frame has been laid out, which for a hidden meter
    // happens after the meter's own resize.
    connect(ui->rxl, &MeterWidget::resized, this, &MonitoringMeter::positionLabels);
    positionLabels();
}

MonitoringMeter::~MonitoringMeter() = default;

MeterBars<MeterWidget> MonitoringMeter::bars() const {
    return MeterBars<MeterWidget>(*ui->rxl, *ui->rxr, *ui->txl, *ui->txr);
}

void MonitoringMeter::setSession(IPCObject* session) {
    if (session_ == session) return;
    if (session_) disconnect(session_, nullptr, this, nullptr);
    session_ = session;
    clear();
    showAwaitingLevel(session_ != nullptr);
    if (session_) {
        connect(session_, &IPCObject::recvAllLevels, this, &MonitoringMeter::allLevels);
        connect(session_, &IPCObject::figuresFreshnessChanged, this, &MonitoringMeter::showFreshness);
        // Out of READY the levels shown are no longer the codec's: the bars wait for its next ones,
        // as the tiles' and rows' meters do. A new connection forgets that they stopped coming.
        connect(session_, &IPCObject::changedState, this, [this](QUuid, IQEndpointClient::DEVICE_STATE state) {
            if (state == IQEndpointClient::READY) return;
            clear();
            showAwaitingLevel(true);
        });
    }
    showFreshness();
}

void MonitoringMeter::showFreshness() {
    const bool isStale = session_ && session_->areLevelsStale();
    for (MeterWidget* bar : {ui->rxl, ui->rxr, ui->txl, ui->txr}) bar->setStale(isStale);
}

void MonitoringMeter::showAwaitingLevel(bool isAwaiting) {
    for (MeterWidget* bar : {ui->rxl, ui->rxr, ui->txl, ui->txr}) bar->setAwaitingLevel(isAwaiting);
}

IPCObject* MonitoringMeter::session() const {
    return session_.data();
}

void MonitoringMeter::clear() {
    bars().clear();
}

void MonitoringMeter::levels(float rxl, float rxr, float txl, float txr) {
    showAwaitingLevel(false);
    bars().levels(rxl, rxr, txl, txr);
}

void MonitoringMeter::allLevels(float rxl, float rxr, float txl, float txr, float rxlSecond, float rxrSecond,
                                float txlSecond, float txrSecond) {
    showAwaitingLevel(false);
    bars().allLevels({rxl, rxr, txl, txr, rxlSecond, rxrSecond, txlSecond, txrSecond});
}

void MonitoringMeter::positionLabels() {
    const int y0 = ui->rxl->y();
    const float barHeight = static_cast<float>(ui->rxl->height());
    const int x0 = ui->label_0->x();
    const int offset = y0 - ui->label_6->height() / 2;
    // Top down; on a short meter a mark that would overlap the one above it is left out.
    int shownBottom = std::numeric_limits<int>::min();
    for (const ScaleMark& mark : scaleMarks) {
        const double fraction = levelToFraction(mark.db);
        mark.label->move(x0, static_cast<int>(barHeight - fraction * barHeight + offset));
        const bool isClear = mark.label->y() >= shownBottom;
        mark.label->setVisible(isClear);
        if (isClear) shownBottom = mark.label->y() + mark.label->fontMetrics().height();
    }
}

void MonitoringMeter::resizeEvent(QResizeEvent*) {
    positionLabels();
}
