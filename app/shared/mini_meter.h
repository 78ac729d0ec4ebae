#pragma once

#include <QWidget>

#include "app/shared/meter_bars.h"

class MeterWidget;
class QVBoxLayout;

// The small level meter of a codec tile and a summary row: four thin horizontal bars, the receive
// pair above the transmit pair, each pair in a grey frame. Its owner connects the session's
// recvLevels to levels() and calls reset() when the codec leaves READY.
//
// Threads: GUI thread only.
class MiniMeter : public QWidget {
    Q_OBJECT

public:
    explicit MiniMeter(QWidget* parent = nullptr);
    ~MiniMeter() override;

public slots:
    // Levels in dB: receive left, receive right, transmit left, transmit right. No second marks.
    void levels(float rxl, float rxr, float txl, float txr);
    // The same four levels followed by a second value for each bar, shown as marks.
    void allLevels(float rxl, float rxr, float txl, float txr, float rxlSecond, float rxrSecond,
                   float txlSecond, float txrSecond);
    // Empties the four bars (and repaints them).
    void reset();

private:
    MeterBars bars() const { return MeterBars(rxl, rxr, txl, txr); }

    // The widget tree, built in the constructor; the widgets are children of this meter.
    QVBoxLayout* verticalLayout = nullptr;
    QWidget* rx = nullptr;
    QVBoxLayout* verticalLayout_2 = nullptr;
    MeterWidget* rxl = nullptr;
    MeterWidget* rxr = nullptr;
    QWidget* tx = nullptr;
    QVBoxLayout* verticalLayout_3 = nullptr;
    MeterWidget* txl = nullptr;
    MeterWidget* txr = nullptr;
};
