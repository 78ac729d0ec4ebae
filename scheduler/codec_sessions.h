#pragma once

#include <QString>
#include <QUuid>

class IPCObject;

// What the scheduler, its window and its dialogs need of the codecs' sessions, each looked up by
// its instance key at the time of the call. SessionAdaptor is the real one, over the program's
// instance registry; tests put a double in its place. A key that names no registered session
// reads as absent: not ready, no peers, nothing sent.
//
// Threads: GUI thread only.
class CodecSessions {
public:
    virtual ~CodecSessions() = default;

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

    // The commands return whether they were sent: the session drops them while it is not ready.
    virtual bool sendConnect(const QUuid& uuid, const QString& peer) = 0;  // "connect" id=<peer>
    virtual bool sendDisconnect(const QUuid& uuid, int peer) = 0;         // "disconnect" id=<peer>
    virtual bool sendDisconnectAll(const QUuid& uuid) = 0;                // "disconnect", no id

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
};
