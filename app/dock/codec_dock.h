#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>

#include "app/dock/event_log_panel.h"
#include "app/dock/peer_tree_panel.h"
#include "app/dock/profile_list_panel.h"
#include "app/dock/stats_table.h"
#include "dialogs/send_dialog.h"
#include "sessions/iq_endpoint_client.h"
#include "sessions/log_line.h"
#include "sessions/report_pacer.h"
#include "text/lost_choice.h"

class AddEntry;
class IPCObject;
class Message;
class QAbstractButton;
class QAction;
class QPoint;
class ProfileCodecData;
class ProfileEdit;
class QTreeWidgetItem;
class QWidget;

namespace Ui {
class MainWindow;
}

// The details dock of the main window: everything it shows of the active codec (the peers and
// profiles of the Connections tab with the Connect and Disconnect buttons, the system status, the
// statistics table and graphs, the tunnel page, the event log and the level meter) and what the
// operator does there. The window makes a codec active through showSession(); from then on the
// dock follows that codec's reports until the next call.
//
// Every command names the peer or profile by the id the codec gave it; an id that is not a decimal
// number sends nothing (with a warning) rather than a command for id 0.
//
// Its members are defined in a file per concern: codec_dock.cpp (the codec shown: its lists,
// status, statistics and log, and the commands sent at once) and codec_dock_dialogs.cpp (the
// commands that run a dialog first: the peer dialogs, sending to other codecs, the profile editor
// and Remove Profile).
//
// Threads: GUI thread only. The session's lists are read under its mutex and copied.
class CodecDock : public QObject {
    Q_OBJECT

public:
    // Wires the dock's widgets and actions; `window` owns the dock and the form, and parents the
    // dock's boxes.
    CodecDock(Ui::MainWindow& form, QWidget& window);
    ~CodecDock() override;

    // Shows `session` (null: none) instead of the codec shown so far. First empties every panel and
    // cuts the old codec's reports off the dock, then connects the new codec's and fills the panels
    // from what it holds (the peers and profiles only while it is READY). Showing the same codec
    // again refills it; each report still reaches the dock once.
    void showSession(IPCObject* session);
    IPCObject* session() const;

    // Adds what the dock shows in sight now (FrameClock::isInSight) of the codec shown: its levels
    // while its meter is in sight; its statistics while the dock is, whichever page is open (the
    // statistics table, graphs and tunnel page follow them, and the window's actions its tunnel's
    // connections).
    void addDemand(ReportPacer::Demand& demand) const;
    // The id of the peer whose statistics the graphs follow; empty when none.
    QString activePeerId() const { return activePeerId_; }
    EventLogPanel& eventLogPanel() { return eventLog; }

signals:
    // Something the window's action enabling reads has changed: the selected peer or profile, the
    // lists, or the tunnel's connections.
    void enablesChanged();

public slots:
    // Peers and connections.
    void clearAndPopulatePeerList(QUuid key);
    void ipcRecvPeerList(QUuid key);
    void peerListSelectionChanged();
    void peerFilterChanged(const QString& text);
    void on_connectButton_clicked();
    void on_disconnectButton_clicked();
    void doDisconnectSelected();
    void doDisconnectAll();
    void removePeer();
    void assignProfileTriggered();
    void assignDefaultProfileTriggered();
    void showPeerlistContextMenu(const QPoint& pos);

    // The peer dialogs. Each copies what it needs before its dialog runs and looks the codecs up
    // by key afterwards: a codec may go, or drop, while the operator types. Nothing that could not
    // be sent goes unsaid.
    void addNewPeer();
    void editPeer();
    void showConnectDialog();
    void sendProfileTriggered();
    void sendPeerTriggered();

    // Profiles.
    void clearAndPopulateProfileList(QUuid key);
    void profileListSelectionChanged();
    void profileFilterChanged(const QString& text);
    void copyProfile();
    // "Edit Profile...": runs the profile editor on the selected profile and, on Save, sends it to
    // the codec it came from. When that codec is gone or not READY, or no longer lists the profile
    // under its id and name, a box says so and the editor opens again with the edits. True when
    // the profile went out.
    bool editProfile();
    // "Remove Profile": asks, naming the selected profile, then removes it from the codec it came
    // from while that codec still lists it under its id by that name; otherwise says that nothing
    // was removed.
    void removeProfile();
    void setDefaultProfileTriggered();
    void showProfilelistContextMenu(const QPoint& pos);

    // System status.
    void ipcRecvSysOptions(QUuid key);
    void ipcRecvSipProxy();
    void ipcRecvDirectoryServer();
    void ipcRecvCurrentEncoder();
    void copyNodeId();

    // Out of READY, what the codec said of its connections is not current: the statistics and the
    // encoder empty and the peers show as in no connection. Back in READY, they show again.
    void sessionChangedState(QUuid key, IQEndpointClient::DEVICE_STATE state);
    // The header's line of the codec's state, why it last failed, what it dropped since it
    // connected (with the Seen button that clears that) and whether its figures stopped coming;
    // the statistics table greyed while they did, and the graphs also while it is not READY.
    void showHealth();

    // Statistics and meters. The table follows every report it is made from: the codec's channel
    // and peer statistics and its peer list.
    void updateStatsTable();
    void ipcRecvChannelStats(QUuid key);
    void activePeerSelectionChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    // "Disconnect this peer": the call the table's menu opened on, while that peer is still in a
    // connection; nothing outside the menu.
    void actionDisconnectStatTableTriggered();
    void showMeterContextMenu(const QPoint& pos);
    void showStatsTableContextMenu(const QPoint& pos);

    // The event log.
    void eventLogAppend(const QStringList& lines);
    // Says above the log why the codec's own entries do not come, while it refuses to send them.
    void showEventLogRefusal();
    void logAppend(const LogLine& line);
    void handleLogButtonPress(QAbstractButton* button);

private:
    void connectWidgets();
    void connectSession(IPCObject& session);
    void disconnectSession(IPCObject& session);
    // Empties what the dock shows of a codec.
    void empty();
    void fillFromReadySession(IPCObject& session);
    void catchUpOnReady();
    // The System Status box, from the codec's cached replies.
    void showSystemStatus();
    // Empties the profile list when there is no session.
    void refillProfiles(IPCObject* session);
    void showUnitName();
    void showFirmwareVersion();
    void fillEventLog();
    void resetLog();
    void reapplyFilters();
    // Keeps the statistics peer while it is in a connection, else takes the first connected peer.
    void followActivePeer();
    // Names, above each list, the chosen peer or profile that the codec's last list no longer
    // holds; nothing while the choice stands.
    void showLostChoices();
    // The selected peer's id for `command`; none, with a warning, when it is not a decimal number.
    std::optional<int> selectedPeerId(const char* command) const;
    std::optional<int> selectedProfileId(const char* command) const;
    // The selected peer's id and its element in the codec's cached peer list; none when no peer
    // is selected, its id is not a decimal number or the list no longer holds it.
    std::optional<int> selectedPeerElement(const char* command, Message& peer) const;
    // Runs the entry dialog for the codec `key` until `send` sends the entry to it or the operator
    // cancels; sends only while that codec is still the one shown and `whyNot` (when given) finds
    // nothing against it. Says why nothing was sent.
    void runEntryDialog(AddEntry& dialog, const QUuid& key, const std::function<bool(IPCObject&)>& send,
                        const std::function<QString(IPCObject&)>& whyNot = {});
    // Lets the operator pick other codecs for what `copied` names, then `send`s to each; one box
    // names those that got nothing.
    void sendToOtherCodecs(const QString& title, const QString& copied, SendDialog::Copy copy,
                           const std::function<bool(IPCObject&)>& send);
    // The shown codec's channels, profile options and encoders, for the profile editor.
    ProfileCodecData shownCodecData() const;
    // Whether the codec shown is READY: only then are its connections current.
    bool isLive() const;
    // Reads the session's cached reply `name`; false without a session or a cached reply.
    bool cached(const QString& name, Message& out) const;

    Ui::MainWindow& ui;  // the window's form
    QWidget& window;     // owns this dock
    PeerTreePanel peers;
    ProfileListPanel profiles;
    StatsTable stats;
    EventLogPanel eventLog;
    QPointer<IPCObject> shown;   // the codec shown; not owned
    ProfileEdit* profileEditor;  // child of the window: one for the run
    QString activePeerId_;
    // How many of the program's own lines end the Log tab, after every entry of the codec's log:
    // the entries that come next take their places among them.
    int trailingOwnLines = 0;
    // A chosen peer and profile that went with the codec's lists, until the operator chooses again.
    std::optional<LostChoice> lostPeer;
    std::optional<LostChoice> lostProfile;
    // The peer of the statistics row the table's menu opened on, and its codec, while that menu is
    // open: another codec may be shown by the time an entry is chosen.
    std::optional<int> statsMenuPeer;
    QUuid statsMenuCodec;
};
