#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <vector>

#include "scheduler/codec_sessions.h"

// One fake codec: what the scheduler can ask of it, and what it was told to log.
struct FakeCodec {
    QString host = QStringLiteral("192.0.2.1");
    int port = 5004;
    bool is_ready = true;
    bool follows = false;
    QSet<QString> active;          // peer ids
    QMap<QString, QString> names;  // peer id -> name: the peers the codec lists
    QMap<QString, QString> addresses;  // peer id -> host; a peer without one is known by name alone
    QString unit_name;
    QStringList log;  // device-log lines, oldest first
};

// The scheduler's codecs without sessions, which the test changes directly.
// Every command that would have gone out is recorded, as "connect 3", "disconnect 3" or
// "disconnect" (all), in the order sent. A codec that `follows` its commands shows a connected
// peer as active at once and a disconnected one as inactive.
class FakeSessions : public CodecSessions {
public:
    using Codec = FakeCodec;

    // Registers a codec under a new key and returns the key.
    QUuid add(const Codec& codec = Codec());
    Codec& codec(const QUuid& uuid) { return codecs[uuid]; }

    bool isRegistered(const QUuid& uuid) const override { return codecs.contains(uuid); }
    QUuid findByAddress(const QString& host, int port) const override;
    bool address(const QUuid& uuid, QString& host, int& port) const override;
    bool isReady(const QUuid& uuid) const override;
    bool isPeerActive(const QUuid& uuid, const QString& peer) const override;
    bool sendConnect(const QUuid& uuid, const QString& peer) override;
    bool sendDisconnect(const QUuid& uuid, int peer) override;
    bool sendDisconnectAll(const QUuid& uuid) override;
    void addLogLine(const QUuid& uuid, const QString& text) override;
    QString unitLabel(const QUuid& uuid) const override;
    bool findPeer(const QUuid& uuid, const QString& peer, QString& name, QString& address) const override;
    IPCObject* session(const QUuid&) const override { return nullptr; }

    QMap<QUuid, Codec> codecs;  // in key order, as the program's registry
    std::vector<QString> sent;

private:
    bool send(const QUuid& uuid, const QString& command);
};
