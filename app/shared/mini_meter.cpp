#include "app/shared/mini_meter.h"

#include <QCoreApplication>
#include <QVBoxLayout>

#include "app/shared/meter_widget.h"

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
    rx = makePairFrame(this, QStringLiteral("rx"), &verticalLayout_2, QStringLiteral("verticalLayout_2"));
    rxl = addBar(rx, verticalLayout_2, QStringLiteral("rxl"));
    rxr = addBar(rx, verticalLayout_2, QStringLiteral("rxr"));
    tx = makePairFrame(this, QStringLiteral("tx"), &verticalLayout_3, QStringLiteral("verticalLayout_3"));
    txl = addBar(tx, verticalLayout_3, QStringLiteral("txl"));
    txr = addBar(tx, verticalLayout_3, QStringLiteral("txr"));
    verticalLayout->addWidget(rx);
    verticalLayout->addWidget(tx);
    resize(180, 50);
    setMinimumSize(90, 25);
    setMaximumSize(180, 60);
    setWindowTitle(QCoreApplication::translate("MiniMeter", "Form"));
    for (MeterWidget* bar : {rxl, rxr, txl, txr}) bar->setGradient();
}

MiniMeter::~MiniMeter() = default;

void MiniMeter::levels(float rxlDb, float rxrDb, float txlDb, float txrDb) {
    bars().levels(rxlDb, rxrDb, txlDb, txrDb);
}

void MiniMeter::allLevels(float rxlDb, float rxrDb, float txlDb, float txrDb, float rxlSecond,
                          float rxrSecond, float txlSecond, float txrSecond) {
    bars().allLevels({rxlDb, rxrDb, txlDb, txrDb, rxlSecond, rxrSecond, txlSecond, txrSecond});
}

void MiniMeter::reset() {
    bars().reset();
}
