#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class DelaySlider;
class IPCObject;
class LossLateRecoveryGrapher;
class QCheckBox;
struct TunnelCodecStats;
class TunnelSession;
class UtilizationGrapher;

namespace Ui {
class BraidlinkStats;
}

// The Braidlink tab of the detail dock: the current tunnel session of the codec the dock shows,
// one direction at a time (Transmit or Receive): its utilization and loss graphs, one label button
// per tunnel connection, and a delay slider with an "Automatic Delay Mode" check. Releasing the
// slider or clicking the check sends "setMaxDelay" to the codec.
//
// The page holds no figures of its own. It lends the tunnel session its graphs and its button
// container, so that the session writes samples and buttons itself, and it shows the session's
// delay figures whenever the tunnel model reports a change. Those figures are applied with the
// widgets' signals blocked: only the operator's own actions send anything, so a report never
// sends (or undoes) a request.
//
// The dock calls setTunnelInfo() with the codec it shows and detachTunnelInfo() (or
// setTunnelInfo(nullptr)) when it shows none; detaching empties the page.
// Threads: GUI thread only.
class BraidlinkStats : public QWidget {
    Q_OBJECT

public:
    // The lowest delay the page ever asks for, in milliseconds.
    static constexpr int kLowestDelayMs = 10;

    explicit BraidlinkStats(QWidget* parent = nullptr);
    ~BraidlinkStats() override;

    // Shows the tunnel of `session` (held by a guarded pointer, not owned) instead of the one shown
    // so far; the same live session again changes nothing, null only detaches.
    void setTunnelInfo(IPCObject* session);
    // Leaves the session shown: its tunnel session drops the page's graphs and buttons, and the
    // page is emptied.
    void detachTunnelInfo();
    // Reads the shown session's cached tunnel reports again.
    void refresh();

public slots:
    void tunnelSessionCreate(int sid);
    void tunnelSessionDestroy(int sid);
    void tunnelSessionStatsUpdate(int sid);
    void tunnelSessionDelayUpdate(int sid);
    void radioTxClicked(bool checked);
    void radioRxClicked(bool checked);
    void checkTxDelayAutoChanged(int state);
    void checkRxDelayAutoChanged(int state);
    void sliderTxDelayReleased();
    void sliderRxDelayReleased();

private:
    // The widgets of one direction; all are children of the form's containers.
    struct Direction {
        DelaySlider* slider;
        QCheckBox* autoCheck;
        UtilizationGrapher* utilization;
        LossLateRecoveryGrapher* loss;
        bool isRemote;  // Receive: the far side's delay
    };

    // Cuts the page off the held session and its tunnel session, and lets go of it.
    void release();
    // The held session's current tunnel session; null when either is missing.
    TunnelSession* currentTunnelSession() const;
    void attachTunnelSession();
    void showDirection(bool isTransmit);
    void showDelayFigures();
    static void showDelayFigures(const TunnelCodecStats& stats, Direction& direction);
    void sendMaxDelay(Direction& direction);
    // Empties the graphs, the sliders and the checks, raising no signal.
    void empty();

    std::unique_ptr<Ui::BraidlinkStats> ui;
    Direction tx{};
    Direction rx{};
    QPointer<IPCObject> session;  // the codec shown; not owned
};
