#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <QWidget>

#include "sessions/iq_endpoint_client.h"

class IPCObject;
class MiniMeter;
class QGridLayout;
class QLabel;
class Scheduler;

// The tile of one codec in the summary view's grid: its name, its session state as a word and an
// icon, who it is connected to, a small level meter and a clock when a connection is scheduled for
// it. A click selects the codec, a right click selects it and asks for the codec's menu
// (menuRequested), and a refused login asks for the password (through loginRefused, which the view
// passes to its prompt queue).
//
// The tile shows only what its session reports, and who the codec is connected to only while it is
// READY: a codec lost shows no connection. Its tool tip says why the codec's connection last failed;
// a READY codec whose levels or statistics stopped coming is marked "Stale" and its meter greyed. It holds the
// session by QPointer and does nothing once the session is gone. Texts that come from the codec are shown as CodecText
// bounds them, as plain text. Style sheets are set only when they change: a fleet of tiles reports many times a second.
//
// Threads: GUI thread only.
class InstanceWidget : public QWidget {
    Q_OBJECT

public:
    // `key` is the tile key the summary view made; it is not the session's instance key.
    InstanceWidget(QWidget* parent, IPCObject* session, QUuid key);
    ~InstanceWidget() override;

    // Connects the session's reports and shows its current state. Throws std::logic_error when
    // the tile has a session already and std::invalid_argument for a null session.
    void attachIPC(IPCObject* session);
    // Null once the session has been deleted.
    IPCObject* session() const;
    QUuid key() const { return key_; }
    bool isSelected() const { return isSelected_; }
    // The selected tile shows a line of the focus colour while keys act on it: while it or the grid
    // holding it has the focus. The view repaints it when the focus moves.
    bool hasKeyboardFocus() const;

    // Marks the tile, repaints it and emits selected. Selecting the selected tile emits again.
    void select();
    // Clears the mark and repaints; emits nothing.
    void deselect();
    // Where the clock's answer comes from; null (the default) shows no clock.
    void setScheduler(Scheduler* scheduler);
    // Shows or hides the small meter, as the codec's metering is switched on or off.
    void setMeterShown(bool isShown);
    MiniMeter* miniMeter() const { return meter; }

signals:
    void selected(QUuid key);
    // The operator asked for the codec's menu at `globalPos`; the tile has selected itself first.
    // Whoever runs the menu must not touch the tile afterwards: an entry may remove it.
    void menuRequested(const QPoint& globalPos);
    // The codec refused the login; the argument is the session's instance key.
    void loginRefused(QUuid sessionUuid);

public slots:
    void updateScheduled();
    void doUpdate();
    void ipcChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    void ipcRecvSysOptions(QUuid uuid);
    void ipcRecvPeerList(QUuid uuid);
    void ipcNewChanState(QUuid uuid, QString text);
    void ipcRecvVersion(QUuid uuid);
    // The last failure and the figures' freshness, as the tool tip and the state's mark.
    void showHealth();
    void showContextMenu(const QPoint& pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // Whether the session is READY: only then are its connections current.
    bool isLive() const;
    void showNoConnections();
    void showPeerSummary(const QString& label, const QString& toolTip);
    void setTileSheet(const QString& sheet);
    void setStateIcon(const char* file);

    QPointer<IPCObject> session_;
    QGridLayout* layout = nullptr;       // the tile's grid; children are the tile's
    QWidget* stateIcon = nullptr;        // 16 x 16, the state's icon as a border image
    QWidget* clockIcon = nullptr;        // 16 x 16, shown while a job names the codec
    QLabel* peerSummaryLabel = nullptr;  // who the codec is connected to
    QLabel* stateLabel = nullptr;        // the session or channel state in words
    QLabel* nameLabel = nullptr;         // the codec's unitLabel
    MiniMeter* meter = nullptr;
    const QUuid key_;
    bool isSelected_ = false;
    QPointer<Scheduler> scheduler_;
    QString tileSheet_;                    // the tile's style sheet as last set
    const char* stateIconFile_ = nullptr;  // the state icon as last set; null: none yet
};
