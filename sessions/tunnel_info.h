#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <string>

#include "sessions/tunnel_session.h"

class Message;

// The tunnel model of one codec session: turns the codec's tunnel reports ("tun_stats",
// "tun_conns" and the tunnel status, all read from the session's reply cache) into at most one
// current TunnelSession, tells its listeners what changed and derives the four-colour Braidlink
// status ("gray", "red", "yellow", "green") from the session's loss, late and throttling figures.
//
// Only "tun_stats" creates, replaces and removes the session; the status may create one when there
// is none; "tun_conns" and the status only update the current one. Reports are outside input:
// missing elements and attributes are read as absent, never trusted.
//
// Ownership: a member of its codec session, which must outlive it. The current session is owned.
// Threads: GUI thread only. The only state shared with the socket thread is the owner's reply
// cache, which each handler reads once through the owner's locked reader. A cached report is never
// modified (a newer one replaces it), so the handler reads the one it was given without a copy.
class TunnelInfo : public QObject {
    Q_OBJECT

public:
    // The owner's cached report `name`; null when none is stored.
    using CacheReader = std::function<std::shared_ptr<const Message>(const QString& name)>;

    // The codec session's constructor builds its model with `this`. Owner must have the signals
    // recvTunConns(QUuid), recvTunStats(QUuid) and recvTunnelStatus(QUuid) and the reader
    // std::shared_ptr<const Message> shared_cached_message(const QString&); the model connects itself to the three
    // signals and reads whatever is already cached.
    template <class Owner>
    explicit TunnelInfo(Owner* owner);
    // A model over any cache, connected to nothing: its user calls the slots.
    explicit TunnelInfo(CacheReader reader);
    ~TunnelInfo() override;
    TunnelInfo(const TunnelInfo&) = delete;
    TunnelInfo& operator=(const TunnelInfo&) = delete;

    // The current tunnel session, or null. Views fetch it at every use and never keep it (or a
    // pointer into its collections) across a return to the event loop: the next report may
    // replace or delete it. sessionDestroy is raised while the old session is still current.
    TunnelSession* session() const { return session_.get(); }
    // The number of "sess" nodes in the last "tun_conns" report.
    int connSessionCount() const { return connSessionCount_; }

    // Runs the three report handlers again on what is cached, also on reports already handled.
    void refresh();
    // The tunnel page no longer shows this model: the session drops its links and buttons.
    void detachSession();

signals:
    void sessionCreate(int sid);
    void sessionDestroy(int sid);
    void sessionDelayUpdate(int sid);
    void sessionStatsUpdate(int sid);
    void braidlinkStatus(QString colour);
    void connsChanged();

public slots:
    // The key is the emitting session's; every handler reads its own owner's cache.
    void handleUnsoTunStats(QUuid key);
    void handleUnsoTunConns(QUuid key);
    void handleRecvTunnelStatus(QUuid key);
    // The status as an unsolicited report, its "sess" nodes directly under the root. Nothing
    // connects it.
    void handleUnsoTunnelStatus(QUuid key);

private:
    // A status element with "sess" children: creates a session when there is none and one
    // qualifies, and passes the current session's node on.
    void updateSession(const Message& status);
    void createSession(int sid, const std::string& addr);
    // Resets and deletes the current session, raising sessionDestroy and connsChanged.
    void destroySession();
    void emitBraidlinkStatus();

    // Marks a handler as running for as long as it lives; false when one already runs.
    class HandlerScope;

    // The cached report `name`, unless it is `handled`, the one its handler took last: a report
    // is handled once, however many of its signals were queued before the first was handled.
    // Null then, as when none is cached; otherwise it becomes `handled`.
    std::shared_ptr<const Message> takeNewReport(const QString& name, std::weak_ptr<const Message>& handled);

    CacheReader readCached_;
    // The reports last handled, to know them again (refresh() forgets them). Not kept alive: a
    // report is destroyed where the cache lets it go, on the loop thread.
    std::weak_ptr<const Message> handledStats_;
    std::weak_ptr<const Message> handledConns_;
    std::weak_ptr<const Message> handledStatus_;
    std::unique_ptr<TunnelSession> session_;
    int connSessionCount_ = 0;
    // Listeners run inside the handlers. A handler they call back into (a refresh from a slot)
    // is skipped: it would tear down what the running one is still using, and a report newer
    // than the one being handled raises its own signal later anyway.
    bool isHandling_ = false;
};

template <class Owner>
TunnelInfo::TunnelInfo(Owner* owner)
    : TunnelInfo([owner](const QString& name) { return owner->shared_cached_message(name); }) {
    connect(owner, &Owner::recvTunConns, this, &TunnelInfo::handleUnsoTunConns);
    connect(owner, &Owner::recvTunStats, this, &TunnelInfo::handleUnsoTunStats);
    connect(owner, &Owner::recvTunnelStatus, this, &TunnelInfo::handleRecvTunnelStatus);
    refresh();
}
