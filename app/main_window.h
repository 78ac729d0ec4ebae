#pragma once

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QUuid>

#include "sessions/iq_endpoint_client.h"

class IPCObject;
class QAction;
class QCloseEvent;
class QWidget;
class ZorvaSummary;

namespace Ui {
class MainWindow;
}

// The one top-level window: the fleet summary in the centre and, docked below it, the details of
// the active instance (the codec selected in the summary). It creates the codec sessions, keeps
// its actions enabled exactly when they can act (handleAllEnables), and saves kt-config.xml when
// it is destroyed.
//
// Threads: GUI thread only.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Once, after construction: reads kt-config.xml (one live session per codec in it), then makes
    // the tray icon.
    void initialize();

    // Makes a session, places it on a worker and registers it under a new instance key, which it
    // returns; a null key, with nothing made, when no worker has room. The caller gives the session
    // its address and adds it to the summary view.
    QUuid createInstance();

    ZorvaSummary* summary() const;

    bool soundEnabled() const { return soundEnabledFlag; }
    bool defaultAlertsAllowed() const { return defaultAlertsFlag; }
    void setSoundEnabled(bool on);
    void setDefaultAlertsAllowed(bool on);
    bool detailDockFloating() const;
    // The details dock's geometry as Base64 text.
    QByteArray detailDockGeometry() const;
    void setDetailDockFloating(bool floating);
    void restoreDetailDockGeometry(const QByteArray& base64);

public slots:
    void handleAllEnables();
    void switchTo();
    void exit();
    void activeInstanceSelected(IPCObject* session);
    void removeInstance();
    void selectedWidgetChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    void soundToggle();
    bool actionAllowDefaultAlertsTriggered();
    bool emailEnableTriggered();
    void nick();
    void trayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void on_actionConfigDir_triggered();
    void on_actionShowMainWindow_triggered();

private:
    void setupShortcuts();
    void setupStatsTable();
    void setPalette();
    void connectActions();

    Ui::MainWindow* ui;  // owned
    // The session the details dock shows; null when none is selected. A QPointer, because a
    // removed codec's session deletes itself later.
    QPointer<IPCObject> activeInstance;
    QSystemTrayIcon* trayIcon = nullptr;  // child of the window; made by initialize()
    bool soundEnabledFlag = false;        // mirrors actionSound
    bool emailEnabledFlag = false;        // mirrors actionEnableAlertEmails
    bool defaultAlertsFlag = false;       // mirrors actionAllowDefaultAlerts
};

// The first main window built, until it is destroyed; null before and after. Users test for null.
extern MainWindow* mainWindowInstance;
