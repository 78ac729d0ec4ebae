#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <vector>

#include "scheduler/codec_sessions.h"

// One fake codec: what the scheduler can ask of it, and what it was told to log.
struct FakeCodec {
    QString host = QStringLiteral("192.0.2.1");
    int port = 5004;
    bool is_ready = true;
    bool follows = false;
    QSet<QString> active;              // peer ids
    QMap<QString, QString> names;      // peer id -> name: the peers the codec lists
    QMap<QString, QString> addresses;  // peer id -> host; a peer without one is known by name alone
    QSet<QString> unreachable;         // peer ids whose connect never takes
    // The codec refuses every "disconnect", of a peer or of all, with this reason, and the calls
    // stay up.
    QString disconnect_refusal;
    // The codec refuses every "connect" with this reason, and the call does not come up.
    QString connect_refusal;
    // The codec refuses the connects of these peers, as one whose channels are taken does.
    QSet<QString> refused_connects;
    // Channels: a connect while this many calls are up or ringing is refused (kNoFreeChannel); 0: no limit.
    int channels = 0;
    // A codec whose refusals carry no sequence: one may answer any connect sent since the last
    // tellRefusals, and is told to each of the scheduler's as not sure, unless it was the only one.
    bool are_refusals_unpaired = false;
    // It tells when it has read each command (isUnread): at tellRefusals, behind its refusals.
    bool tells_reads = true;
    // Peers whose far end answers late: an accepted connect rings for ring_steps(peer) answerRinging
    // calls before its call comes up, unless a disconnect of that peer, or of all, reaches the
    // codec first. A connect of a peer that rings already changes nothing.
    QSet<QString> slow;
    bool rings_anew = false;  // but a connect of a peer that rings starts its ring again
    std::function<int(const QString& peer)> ring_steps = [](const QString&) { return 1; };
    QMap<QString, int> ringing;  // peer id -> answerRinging calls left
    // A disconnect of a peer that is not up yet is ignored: its connect comes up all the same.
    bool completes_stopped_connects = false;
    QString unit_name;
    QStringList log;  // device-log lines, oldest first
    // Renames this program sent, as {id, name, address} before and after, not yet settled.
    QList<QPair<QStringList, QStringList>> sent_renames;
};

// The scheduler's codecs without sessions, which the test changes directly, and tells the
// listener of as a session would (tellPeerList, tellLeftReady).
// Every command that would have gone out is recorded, as "connect 3", "disconnect 3" or
// "disconnect" (all), in the order sent. A codec that `follows` its commands shows a connected
// peer as active at once and a disconnected one as inactive. A codec's refusals reach the listener
// as a session's do, after the commands went: at tellRefusals.
class FakeSessions : public CodecSessions {
public:
    using Codec = FakeCodec;

    // Registers a codec under a new key and returns the key.
    QUuid add(const Codec& codec = Codec());
    Codec& codec(const QUuid& uuid) { return codecs[uuid]; }

    // What a session tells its listener: a peer list came in; it left READY (and is no longer ready).
    void tellPeerList(const QUuid& uuid);
    void tellLeftReady(const QUuid& uuid);
    // The refusals of the commands sent since the last call: the disconnects' in order, then the
    // connects'; then that the codec read them, and so on for what that sent.
    void tellRefusals();
    // One step of every ringing connect of the codec: those whose far end answers now come up.
    // True when any did.
    bool answerRinging(const QUuid& uuid);
    // The operator presses Connect: the codec acts on it and the listener is told; not in `sent`.
    // A refusal of it is told at tellRefusals.
    void operatorConnect(const QUuid& uuid, const QString& peer);
    // The operator presses Disconnect (-1: of every peer): the codec acts on it unless it refuses
    // every disconnect, and the listener is told; not in `sent`.
    void operatorDisconnect(const QUuid& uuid, int peer);

    void watch(const QUuid&) override {}
    bool isRegistered(const QUuid& uuid) const override { return codecs.contains(uuid); }
    QUuid findByAddress(const QString& host, int port) const override;
    bool address(const QUuid& uuid, QString& host, int& port) const override;
    bool isReady(const QUuid& uuid) const override;
    bool isPeerActive(const QUuid& uuid, const QString& peer) const override;
    QStringList activePeers(const QUuid& uuid) const override;
    bool tellsCommandsRead(const QUuid& uuid) const override { return codecs.value(uuid).tells_reads; }
    bool isUnread(const QUuid& uuid, Command command, int peer) const override;
    bool sendConnect(const QUuid& uuid, const QString& peer) override;
    bool sendDisconnect(const QUuid& uuid, int peer) override;
    bool sendDisconnectAll(const QUuid& uuid) override;
    void addLogLine(const QUuid& uuid, const QString& text) override;
    QString unitLabel(const QUuid& uuid) const override;
    bool findPeer(const QUuid& uuid, const QString& peer, QString& name, QString& address) const override;
    IPCObject* session(const QUuid&) const override { return nullptr; }
    bool isRenameSent(const QUuid& uuid, const QStringList& was, const QStringList& now) const override;

    QMap<QUuid, Codec> codecs;  // in key order, as the program's registry
    std::vector<QString> sent;

private:
    void tellRefusalsOnce();
    bool send(const QUuid& uuid, const QString& command);
    // The codec's refusal of the connect, or empty when it takes it.
    QString connectOnCodec(const QUuid& uuid, const QString& peer);
    bool disconnectOnCodec(const QUuid& uuid, int peer);
    void noteUnread(const QUuid& uuid, Command command, int peer);

    // A connect refused, for tellRefusals.
    struct ConnectRefusal {
        QUuid codec;
        QString peer;
        QString reason;
    };
    std::vector<std::function<void(CodecSessions::Listener&)>> refusals_;  // not yet told
    std::vector<ConnectRefusal> connect_refusals_;                         // not yet told
    struct Connect {
        QUuid codec;
        QString peer;
        bool is_operators = false;
    };
    std::vector<Connect> connects_;  // sent since the last tellRefusals
    // Commands the codec has not read yet, by codec: read at tellRefusals, forgotten as it leaves READY.
    QMap<QUuid, QList<std::pair<Command, int>>> unread_;
};

// What a codec says of a connect it has no channel for.
extern const char kNoFreeChannel[];
