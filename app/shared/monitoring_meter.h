#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "app/shared/meter_bars.h"

class IPCObject;
class QLabel;

namespace Ui {
class MonitoringMeter;
}

// The large level meter of the detail dock's "Meters" tab: the receive pair of bars on the left,
// the transmit pair on the right, each bar with a second (peak) mark, and a dB scale between them
// whose labels stand at the height of their level.
//
// The dock shows one codec at a time: setSession() connects that codec's level reports (and cuts
// those of the codec shown before) and shows the bars hatched until its first report: empty bars
// would read as silence; so it does again whenever the codec leaves READY. Levels that stopped
// coming are drawn grey until the next report.
// Threads: GUI thread only.
class MonitoringMeter : public QWidget {
    Q_OBJECT

public:
    explicit MonitoringMeter(QWidget* parent = nullptr);
    ~MonitoringMeter() override;

    // Shows the levels of `session` from its next report on; null shows none. The bars are emptied
    // and their marks hidden whenever the session changes, and hatched until the new session's
    // first report. Selecting the shown session again changes nothing.
    void setSession(IPCObject* session);
    IPCObject* session() const;

    // Empties the four bars and hides their marks.
    void clear();

public slots:
    // Levels in dB: receive left, receive right, transmit left, transmit right; hides the marks.
    void levels(float rxl, float rxr, float txl, float txr);
    // The four levels, then the second (peak) value of each bar, shown as its mark.
    void allLevels(float rxl, float rxr, float txl, float txr, float rxlSecond, float rxrSecond, float txlSecond,
                   float txrSecond);
    // Centres each scale label on the height of its level on the bars.
    void positionLabels();
    // Greys the bars while the codec's levels stopped coming.
    void showFreshness();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct ScaleMark {
        float db;
        QLabel* label;  // a child of the form
    };

    MeterBars<MeterWidget> bars() const;
    // Hatches the bars until the next level, or shows their levels.
    void showAwaitingLevel(bool isAwaiting);

    std::unique_ptr<Ui::MonitoringMeter> ui;
    QList<ScaleMark> scaleMarks;
    QPointer<IPCObject> session_;  // the codec whose levels are shown; not owned
};
