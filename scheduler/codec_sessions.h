#pragma once

#include <QString>
#include <QStringList>
#include <QUuid>

class IPCObject;

// What the scheduler, its window and its dialogs need of the codecs' sessions, each looked up by
// its instance key at the time of the call, and what the sessions tell the scheduler as it happens
// (Listener): the scheduler's one road to the codecs. SessionAdaptor is the real one, over the
// program's instance registry; tests put a double in its place. A key that names no registered
// session reads as absent: not ready, no peers, nothing sent.
//
// Threads: GUI thread only.
class CodecSessions {
public:
    // Told of a watched codec's news, as the session takes it in.
    class Listener {
    public:
        virtual ~Listener() = default;
        // A peer list came in, each one on its own and in order, before the session's views forget
        // the renames it settles (isRenameSent).
        virtual void peerListReceived(const QUuid& uuid) = 0;
        // The session left READY: what its lists show once it is back may have changed unseen.
        virtual void codecLeftReady(const QUuid& uuid) = 0;
        // The codec refused a command the scheduler sent, or one of several it may answer (a codec
        // leaves the successes of these unanswered, so a refusal cannot always be paired): the
        // listener says it only where the codec's list shows the command undone.
        // "connect" id=<peer>; `is_sure`: the refusal answered that connect alone, else it may be
        // another connect's:
        virtual void connectRefused(const QUuid& uuid, const QString& peer, const QString& reason, bool is_sure) = 0;
        // "disconnect" id=<peer>:
        virtual void disconnectRefused(const QUuid& uuid, int peer, const QString& reason) = 0;
        // "disconnect" without an id:
        virtual void disconnectAllRefused(const QUuid& uuid, const QString& reason) = 0;
        // The operator's own "connect" id=<peer> went out (never the scheduler's).
        virtual void operatorConnected(const QUuid& uuid, const QString& peer) = 0;
        // The codec refused that connect of the operator's, that one alone.
        virtual void operatorConnectRefused(const QUuid& uuid, const QString& peer) = 0;
        // The operator's own "disconnect" id=<peer> went out; -1: of every peer.
        virtual void operatorDisconnected(const QUuid& uuid, int peer) = 0;
        // The codec has read a command of this program's (isUnread tells which are left), after
        // any refusal of it was told.
        virtual void commandRead(const QUuid& uuid) = 0;
    };

    // The commands whose reading a session tells (isUnread).
    enum class Command { kConnect, kDisconnect };
    static constexpr int kAnyPeer = -1;

    virtual ~CodecSessions() = default;

    // The one listener; null stops the news. Set before any watch.
    void setListener(Listener* listener) { listener_ = listener; }
    Listener* listener() const { return listener_; }
    // From now on the listener hears of this codec; watching one twice, or one not registered, is
    // harmless.
    virtual void watch(const QUuid& uuid) = 0;

    virtual bool isRegistered(const QUuid& uuid) const = 0;
    // The key of the first registered session, in registry order, with exactly this address and
    // port; a null key when there is none.
    virtual QUuid findByAddress(const QString& host, int port) const = 0;
    // False, leaving both untouched, when the session is not registered.
    virtual bool address(const QUuid& uuid, QString& host, int& port) const = 0;
    // Logged in and holding the codec's current data: only then are commands sent and peers believed.
    virtual bool isReady(const QUuid& uuid) const = 0;
    // The codec's last peer list shows the peer (by its id text) with a connection.
    virtual bool isPeerActive(const QUuid& uuid, const QString& peer) const = 0;
    // The ids of every peer with a connection in the codec's last peer list.
    virtual QStringList activePeers(const QUuid& uuid) const = 0;

    // Whether the codec tells when it has read a command (isUnread): a codec that answers for
    // itself, in order. For one that does not, nothing is ever known to be unread, nor read.
    virtual bool tellsCommandsRead(const QUuid& uuid) const = 0;
    // A command of that kind and peer (kAnyPeer: of any, or a disconnect of every peer), sent to
    // the codec by this program, the scheduler or the operator, that the codec has not read yet on
    // its current link: a refusal of it may still come. A command read without a refusal was taken.
    // Told in the order the codec answers, behind its refusals; forgotten as the codec leaves
    // READY, after the listener has heard of that.
    virtual bool isUnread(const QUuid& uuid, Command command, int peer = kAnyPeer) const = 0;

    // The commands return whether they were sent: the session drops them while it is not ready.
    virtual bool sendConnect(const QUuid& uuid, const QString& peer) = 0;  // "connect" id=<peer>
    virtual bool sendDisconnect(const QUuid& uuid, int peer) = 0;          // "disconnect" id=<peer>
    virtual bool sendDisconnectAll(const QUuid& uuid) = 0;                 // "disconnect", no id

    // Adds a line to the codec's device log (the operator's log panel).
    virtual void addLogLine(const QUuid& uuid, const QString& text) = 0;
    // The codec as the program names it (unitLabel: its unit name, or its address and port while
    // the name is unknown); empty when not registered.
    virtual QString unitLabel(const QUuid& uuid) const = 0;
    // The name and address (host part; empty for a directory peer) of the peer with this id in the
    // codec's last peer list: what tells it from a peer that takes its id later. False, with both
    // empty, when it is not there.
    virtual bool findPeer(const QUuid& uuid, const QString& peer, QString& name, QString& address) const = 0;
    // The name of the peer with this id in the codec's last peer list; empty when it is not there.
    QString peerName(const QUuid& uuid, const QString& peer) const {
        QString name, address;
        findPeer(uuid, peer, name, address);
        return name;
    }
    // The session itself, for the job dialog's peer list; null when not registered.
    virtual IPCObject* session(const QUuid& uuid) const = 0;
    // This program sent the rename that makes the peer `was` ({id, name, address}) read as `now`,
    // at the operator's word, and the codec's lists have not yet settled it.
    virtual bool isRenameSent(const QUuid& uuid, const QStringList& was, const QStringList& now) const = 0;

private:
    Listener* listener_ = nullptr;
};
