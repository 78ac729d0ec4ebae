#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

#include <map>
#include <memory>
#include <string>

#include "sessions/guarded_link.h"
#include "sessions/tunnel_codec_stats.h"
#include "sessions/tunnel_connection.h"
#include "sessions/tunnel_connection_label.h"

class Message;

// One Braidlink tunnel session of a codec, as its TunnelInfo keeps it current: the delay limits,
// the codec figures of both directions, the network connections of the tunnel and, while the
// tunnel page shows it, the samples of the page's graphs and one label button per connection and
// direction. "Transmit" (tx) is the local side, "receive" (rx) the remote one.
//
// Links to the page: the page hands over its graphs (through txStats/rxStats) and its button
// container with setIfcWidget(). All of them are guarded, so a page widget that is destroyed first
// is never used again. The label buttons are made by the container's factory as its children; the
// session deletes them when their connection leaves, when the page detaches and at the latest in
// its own destructor, so no button outlives the session it labels.
//
// Threads: GUI thread only (the tunnel model's and the page's slots).
class TunnelSession : public QObject {
public:
    // Makes the label button of one connection inside `container` (the page's button container)
    // and returns it; it must implement TunnelConnectionLabel. `inLayout`: add it to the
    // container's layout (transmit buttons); receive buttons place themselves.
    using ButtonFactory = QObject* (*)(QObject* container, int index, const QString& uid, const QString& first,
                                       const QString& second, bool inLayout);
    using ConnectionMap = std::map<std::string, std::unique_ptr<TunnelConnection>>;

    // A codec that reports more connections than this for one session gets a warning; the
    // extra ones are not kept.
    static constexpr int kMaxConnections = 32;

    TunnelSession(int sid, const std::string& addr);
    ~TunnelSession() override;
    TunnelSession(const TunnelSession&) = delete;
    TunnelSession& operator=(const TunnelSession&) = delete;

    int sid() const { return sid_; }
    // As reported when the session was created; later reports do not change it.
    const std::string& addr() const { return addr_; }

    // Handlers of the "sess" node of "tun_stats" (the tunnel model calls them in this order).
    // True when something the page shows changed: the delay figures, or the set of connections
    // and buttons.
    bool updateDelay(const Message& sess);
    void updateTxCodecStats(const Message& codec);
    bool updateRxCodecStats(const Message& sess);
    // A "sess" node of "tun_conns" or of the tunnel status; ignored unless it names this session.
    bool updateSessionStatus(const Message& sess);

    bool updateConnections(const Message& sess);
    // Finds or creates the connection that a "conn" node names and reads its figures. Null when
    // the node lacks "li" or "ri", or names one connection more than kMaxConnections. The pointer
    // is only good until the next update.
    TunnelConnection* updateConnection(const Message& conn);
    // Deletes every connection not named since the last statistics update began; true when any was.
    bool pruneConnections();
    // Deletes every connection.
    bool resetConnections();

    // The page's links. The container must stay the parent of every button the factory makes.
    void setIfcWidget(QObject* container, ButtonFactory factory);
    QObject* ifcWidget() const { return m_ifc_widget.data(); }
    void showTxWidgets();
    void showRxWidgets();
    // Deletes every label button of both directions.
    void clearIfcWidgets();
    // Drops every link to the page and deletes the buttons.
    void resetWidgets();

    void dump() const;

    // Views read these on the GUI thread and never keep a pointer into them across a return to the
    // event loop: the next report may delete any connection.
    const ConnectionMap& connections() const { return connections_; }
    // Throughputs (kbit/s) of the connections of the last statistics update, in report order.
    const QVector<int>& txValues() const { return txValues_; }
    const QVector<int>& rxValues() const { return rxValues_; }

    int max_allowed_delay_tx = -1;  // "dm" (ms); -1 until reported; a report without it keeps it
    int max_allowed_delay_rx = -1;  // "rdm"
    TunnelCodecStats txStats;       // local side: plain keys
    TunnelCodecStats rxStats;       // remote side: "r" keys
    bool active = false;            // from the connection and status reports; kept, not shown
    bool encrypted = false;
    bool isProtected = false;
    std::string state;

private:
    // updateConnection for a node that names its connection by `uid` ("li:ri"); a connection
    // known already keeps the numbers it was made with.
    TunnelConnection* updateConnection(const Message& conn, std::string uid);

    using ButtonMap = std::map<std::string, GuardedLink<TunnelConnectionLabel>>;

    bool hasButtonContainer() const { return !m_ifc_widget.isNull() && buttonFactory_ != nullptr; }
    // Creates or refreshes the two buttons of `connection` at position `index`; true when either
    // was created.
    bool updateButtons(int index, const TunnelConnection& connection);
    // `key` is the connection's uid as received, `uid` its text for the label.
    static bool updateButton(ButtonMap& buttons, QObject* container, ButtonFactory factory, int index,
                             const std::string& key, const QString& uid, const QString& first, const QString& second,
                             bool inLayout);
    static void deleteButtons(ButtonMap& buttons);
    static void showButtons(const ButtonMap& buttons, bool shown);

    ConnectionMap connections_;  // owned, ordered by uid
    ButtonMap txIfcButtons;      // children of m_ifc_widget; deleted by this session
    ButtonMap rxIfcButtons;
    QPointer<QObject> m_ifc_widget;  // the page's button container; not owned
    ButtonFactory buttonFactory_ = nullptr;
    int sid_;
    std::string addr_;
    QVector<int> txValues_;
    QVector<int> rxValues_;
    bool warnedConnectionCap_ = false;
};
