#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>

#include <functional>

#include "scheduler/codec_sessions.h"
#include "sessions/failure_effect.h"

// CodecSessions over the program's real sessions: the only place where the scheduler reads a
// session, hears from it or sends it a command. The registry itself belongs to the main window,
// which hands in two look-ups when it binds the scheduler (see Scheduler::setSessions).
//
// Threads: GUI thread only, like the sessions' senders and the registry.
class SessionAdaptor : public CodecSessions {
public:
    // The registered session under a key, or null.
    using FindSession = std::function<IPCObject*(const QUuid&)>;
    // Every registered session, in the registry's key order.
    using ListSessions = std::function<QList<IPCObject*>()>;

    // Empty look-ups find nothing.
    SessionAdaptor(FindSession find, ListSessions list);

    void watch(const QUuid& uuid) override;
    bool isRegistered(const QUuid& uuid) const override;
    QUuid findByAddress(const QString& host, int port) const override;
    bool address(const QUuid& uuid, QString& host, int& port) const override;
    bool isReady(const QUuid& uuid) const override;
    bool isPeerActive(const QUuid& uuid, const QString& peer) const override;
    QStringList activePeers(const QUuid& uuid) const override;
    bool tellsCommandsRead(const QUuid& uuid) const override;
    bool isUnread(const QUuid& uuid, Command command, int peer) const override;
    bool sendConnect(const QUuid& uuid, const QString& peer) override;
    bool sendDisconnect(const QUuid& uuid, int peer) override;
    bool sendDisconnectAll(const QUuid& uuid) override;
    void addLogLine(const QUuid& uuid, const QString& text) override;
    QString unitLabel(const QUuid& uuid) const override;
    bool findPeer(const QUuid& uuid, const QString& peer, QString& name, QString& address) const override;
    IPCObject* session(const QUuid& uuid) const override;
    bool isRenameSent(const QUuid& uuid, const QStringList& was, const QStringList& now) const override;

private:
    struct SentCommand {
        Command command;
        int peer;  // kAnyPeer: a disconnect of every peer
    };
    // A command went to the codec; its reading will be told when the codec tells it.
    void noteSent(const QUuid& uuid, Command command, int peer);
    void noteRead(const QUuid& uuid, const QString& request, int peer);
    void noteLeftReady(const QUuid& uuid);
    // Tells the listener of a refusal of one of the scheduler's own commands.
    void tellRefusal(const QUuid& uuid, const QString& request, const QString& code, const QString& text,
                     const FailureEffect& effect);
    // `is_sure`: the refusal answered this command alone (else one of several of the scheduler's).
    void tellCommandRefused(const QUuid& uuid, const QString& request, const QList<FailureEffect::Subject>& subjects,
                            const QString& reason, bool is_sure);

    FindSession find_;
    ListSessions list_;
    QObject connections_;  // owns the watched sessions' connections: they end with the adaptor
    QSet<QUuid> watched_;
    QHash<QUuid, QList<SentCommand>> unread_;  // by codec, oldest first
};
