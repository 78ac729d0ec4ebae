#pragma once

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QUuid>

#include "app/shell/config_store.h"
#include "ipc/message/message.h"
#include "scheduler/alert_sound_player.h"
#include "scheduler/device_event_handler.h"
#include "sessions/iq_endpoint_client.h"
#include "sessions/report_pacer.h"

class CodecDock;
class IPCObject;
class QAction;
class QCloseEvent;
class QPoint;
class QWidget;
class RefusalNotice;
class ScheduleWindow;
class Scheduler;
class ZorvaSummary;

namespace Ui {
class MainWindow;
}

// The one top-level window: the fleet summary in the centre and, docked below it, the details of
// the active instance (the codec selected in the summary). It creates the codec sessions, keeps
// its actions enabled exactly when they can act (handleAllEnables), and saves kt-config.xml when
// it is destroyed. It plays the codecs' alert sounds and opens the scheduled-connections window.
// At the end of each frame it tells its meter pacer whose levels the views show.
//
// Threads: GUI thread only.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Alerts play through `alertOutput` when one is given (tests), else through the window's own
    // sound player; it must outlive the window.
    explicit MainWindow(QWidget* parent = nullptr, AlertPlayer* alertOutput = nullptr);
    ~MainWindow() override;

    // Once, after construction: reads kt-config.xml (one live session per codec in it), then makes
    // the tray icon.
    void initialize();

    // Makes a session, places it on a worker and registers it under a new instance key, which it
    // returns; a null key, with nothing made, when no worker has room. The caller gives the session
    // its address and adds it to the summary view.
    QUuid createInstance();

    ZorvaSummary* summary() const;
    // The details dock's behaviour: what it shows of the active codec and what it sends.
    CodecDock* dock() const { return codecDock; }

    // The entries of a codec's menu (its tile's, and the summary tree's for the selected codec),
    // by the session's state; they act on the active instance.
    QList<QAction*> instanceMenuActions(IPCObject* session) const;
    // The entries of the fleet view's own menu: "Add Instance..." while a worker has room.
    QList<QAction*> summaryMenuActions() const;
    // Whether any registered session is READY.
    static bool anyInstanceReady();

    bool soundEnabled() const { return soundEnabledFlag; }
    bool defaultAlertsAllowed() const { return defaultAlertsFlag; }
    void setSoundEnabled(bool on);
    void setDefaultAlertsAllowed(bool on);
    bool detailDockFloating() const;
    // The details dock's geometry as Base64 text.
    QByteArray detailDockGeometry() const;
    void setDetailDockFloating(bool floating);
    void restoreDetailDockGeometry(const QByteArray& base64);
    // The window's size, place and dock layout as saved; where none was saved (a first start) the
    // first show splits the height between the fleet and the dock.
    void restoreLayout(const QByteArray& geometry, const QByteArray& state);
    // The size and split of a first start on a screen whose room is `available` (the screen's
    // available geometry): the form's size as far as that room, and its frame, allow. Run at the
    // first show when no layout was restored.
    void fitFirstStart(const QRect& available);

    // Writes kt-config.xml now; failures are shown.
    void saveConfig() { configStore.save(); }

    // Starts playing the sound file, at once; false when it can't be played.
    bool playAlertSound(const QString& file) { return alertPlayer.play(file); }

public slots:
    void handleAllEnables();
    void switchTo();
    void exit();
    void activeInstanceSelected(IPCObject* session);
    // Runs the menu of `session` (the active codec) or, for null, the fleet view's own menu.
    void showCodecMenu(IPCObject* session, const QPoint& globalPos);
    void removeInstance();
    void enableMetering();
    void disableMetering();
    void enableLogReading();
    void disableLogReading();
    void showPasswordDialog();
    void doDisconnectAllFleet();
    void selectedWidgetChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    void sendUpdatedSettings(Message message);
    void soundToggle();
    bool actionAllowDefaultAlertsTriggered();
    bool emailEnableTriggered();
    void nick();
    void trayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void on_actionConfigDir_triggered();
    void on_actionShowMainWindow_triggered();
    void addNewInstance();
    // The alert e-mail lists, kept in memory only: nothing saves or sends them, and no menu leads
    // here (an entry would promise mails that never come).
    void assignEmailAddressesTriggered();
    void manageEmailAddressesTriggered();
    void setSoundsTriggered();
    void setIPCWavs(IPCObject* session);
    void showAbout();
    void showScheduler();
    void schedulerClosed();
    void scheduleConnectionTriggered();
    void scheduleSelectedConnectionTriggered();

protected:
    // Asks first while scheduled connections are pending: they run only while Kestrane does.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setupShortcuts();
    void setupStatsTable();
    // The dock's share of a first start's height.
    void splitFirstStartDock();
    // Tells the pacer which codecs' levels and statistics the fleet view and the dock show in
    // sight now.
    void reportWhatIsInSight();
    void setPalette();
    void connectActions();
    void connectInstanceActions();
    // Runs the job dialog for the active codec, with the selected peer chosen when asked.
    void scheduleConnection(bool preselectPeer);
    // The program's scheduler; null without the program's application object.
    static Scheduler* scheduler();

    Ui::MainWindow* ui;  // owned
    ConfigStore configStore;
    AlertSoundPlayer soundPlayer;
    AlertPlayer& alertPlayer;  // soundPlayer, or the caller's stand-in
    // Every session's refusals of the editors' requests go here. Child of the window.
    RefusalNotice* refusalNotice;
    // Paces every session's level and statistics reports by what the views show.
    ReportPacer reportPacer;
    // Every session's deviceEvent goes here. Silenced first thing in the destructor, so that
    // nothing plays while the program shuts down.
    DeviceEventHandler deviceEventHandler;
    // The open scheduled-connections window: without parent, so deleted here.
    QPointer<ScheduleWindow> scheduleWindow;
    CodecDock* codecDock = nullptr;  // child of the window
    // The session the details dock shows; null when none is selected. A QPointer, because a
    // removed codec's session deletes itself later.
    QPointer<IPCObject> activeInstance;
    QSystemTrayIcon* trayIcon = nullptr;  // child of the window; made by initialize()
    bool soundEnabledFlag = false;        // mirrors actionSound
    bool emailEnabledFlag = false;        // mirrors actionEnableAlertEmails
    bool defaultAlertsFlag = false;       // mirrors actionAllowDefaultAlerts
    bool isDockSplitPending = true;       // until the first show or a restored layout
    bool isFirstSizePending = true;       // until the first show or a restored geometry
    QSize firstStartSize;                 // the form's
};

// The first main window built, until it is destroyed; null before and after. Users test for null.
extern MainWindow* mainWindowInstance;
