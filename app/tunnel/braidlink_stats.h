#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class DelaySlider;
class IPCObject;
class LossLateRecoveryGrapher;
class QCheckBox;
class QTimer;
struct TunnelCodecStats;
class TunnelSession;
class UtilizationGrapher;

namespace Ui {
class BraidlinkStats;
}

// The Braidlink tab of the detail dock: the current tunnel session of the codec the dock shows,
// one direction at a time (Transmit or Receive): its utilization and loss graphs, one label button
// per tunnel connection, and a delay slider with an "Automatic Delay Mode" check. Clicking the
// check sends "setMaxDelay" to the codec; so does a move of the slider's handle once it settles:
// at the release of a drag, or once the keys or the wheel that stepped it pause. One command goes
// for a whole run of steps, and none for a move that ends where it began.
//
// The page holds no figures of its own. It lends the tunnel session its graphs and its button
// container, so that the session writes samples and buttons itself, and it shows the session's
// delay figures whenever the tunnel model reports a change. Those figures are applied with the
// widgets' signals blocked: only the operator's own actions send anything, so a report never
// sends (or undoes) a request. Nor does a report move what the operator chose: while a handle is
// moving, its direction's handle and check keep the operator's choice, and so do both directions'
// from a "setMaxDelay" until the codec has read it (a report sent before then still tells the old
// delay); the codec's next report after that shows where the codec is. The delay points and the
// packet delay are shown all along.
//
// The dock calls setTunnelInfo() with the codec it shows and detachTunnelInfo() (or
// setTunnelInfo(nullptr)) when it shows none; detaching empties the page.
// Threads: GUI thread only.
class BraidlinkStats : public QWidget {
    Q_OBJECT

public:
    // The lowest delay the page ever asks for, in milliseconds.
    static constexpr int kLowestDelayMs = 10;
    // How long the keys or the wheel rest before the delay they stepped to is sent: longer than a
    // pause between presses of a key tapped in a run.
    static constexpr int kSettlePauseMs = 400;

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
        QTimer* settle;  // child of the page; runs from a key or wheel step until the steps pause
        bool isRemote;   // Receive: the far side's delay
        // The delay the handle showed of the codec or last sent it (ms): a move that ends there
        // sends nothing.
        int settledDelay;
    };

    // Cuts the page off the held session and its tunnel session, and lets go of it.
    void release();
    // The held session's current tunnel session; null when either is missing.
    TunnelSession* currentTunnelSession() const;
    void attachTunnelSession();
    void showDirection(bool isTransmit);
    void showDelayFigures();
    void showDelayFigures(const TunnelCodecStats& stats, Direction& direction);
    // Whether the direction's handle and check show the operator's choice rather than a report.
    bool holdsOperatorsChoice(const Direction& direction) const;
    // Without automatic mode, moves the handle up to kLowestDelayMs, the lowest delay sent.
    static void raiseToLowestDelay(Direction& direction);
    // The operator turned the direction's automatic mode on or off.
    void autoModeChosen(Direction& direction);
    // The handle's move has settled: sends its delay unless it ends where it began.
    void settleMove(Direction& direction);
    // Sends the direction's delay and mode; false when nothing went.
    bool sendMaxDelay(Direction& direction);
    // The session's signals of the codec reading a "setMaxDelay", of a tunnel report and of its
    // link, which end the hold on the operator's choice.
    void commandRead(const QString& request);
    void tunnelReported();
    void linkStateChanged(int state);
    // Empties the graphs, the sliders and the checks, raising no signal.
    void empty();

    std::unique_ptr<Ui::BraidlinkStats> ui;
    Direction tx{};
    Direction rx{};
    QPointer<IPCObject> session;  // the codec shown; not owned
    // "setMaxDelay" commands sent on the current link whose reading the codec has not told yet.
    int unreadDelays = 0;
    // The codec has read every "setMaxDelay"; its reports show the operator's choice from the
    // next one on.
    bool awaitsFreshReport = false;
};
