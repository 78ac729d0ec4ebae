#include "tests/scheduler/fake_sessions.h"

#include <algorithm>

QUuid FakeSessions::add(const Codec& codec) {
    const QUuid uuid = QUuid::createUuid();
    codecs.insert(uuid, codec);
    return uuid;
}

QUuid FakeSessions::findByAddress(const QString& host, int port) const {
    for (auto it = codecs.begin(); it != codecs.end(); ++it) {
        if (it->host == host && it->port == port) return it.key();
    }
    return {};
}

bool FakeSessions::address(const QUuid& uuid, QString& host, int& port) const {
    if (!codecs.contains(uuid)) return false;
    host = codecs[uuid].host;
    port = codecs[uuid].port;
    return true;
}

bool FakeSessions::isReady(const QUuid& uuid) const {
    return codecs.contains(uuid) && codecs[uuid].is_ready;
}

bool FakeSessions::isPeerActive(const QUuid& uuid, const QString& peer) const {
    return codecs.contains(uuid) && codecs[uuid].active.contains(peer);
}

QStringList FakeSessions::activePeers(const QUuid& uuid) const {
    QStringList ids = codecs.value(uuid).active.values();
    std::sort(ids.begin(), ids.end());
    return ids;
}

void FakeSessions::tellPeerList(const QUuid& uuid) {
    if (listener()) listener()->peerListReceived(uuid);
}

void FakeSessions::tellLeftReady(const QUuid& uuid) {
    codecs[uuid].is_ready = false;
    if (listener()) listener()->codecLeftReady(uuid);
}

bool FakeSessions::isRenameSent(const QUuid& uuid, const QStringList& was, const QStringList& now) const {
    return codecs.value(uuid).sent_renames.contains({was, now});
}

bool FakeSessions::send(const QUuid& uuid, const QString& command) {
    if (!isReady(uuid)) return false;
    sent.push_back(command);
    return true;
}

void FakeSessions::tellRefusals() {
    const auto refusals = std::move(refusals_);
    refusals_.clear();
    for (const auto& tell : refusals) {
        if (listener()) tell(*listener());
    }
}

bool FakeSessions::sendConnect(const QUuid& uuid, const QString& peer) {
    if (!send(uuid, QStringLiteral("connect ") + peer)) return false;
    const QString refusal = codecs[uuid].connect_refusal;
    if (!refusal.isEmpty()) {
        refusals_.push_back([=](Listener& listener) { listener.connectRefused(uuid, peer, refusal); });
    } else if (codecs[uuid].follows && !codecs[uuid].unreachable.contains(peer)) {
        codecs[uuid].active.insert(peer);
    }
    return true;
}

bool FakeSessions::sendDisconnect(const QUuid& uuid, int peer) {
    if (!send(uuid, QStringLiteral("disconnect %1").arg(peer))) return false;
    const QString refusal = codecs[uuid].disconnect_refusal;
    if (!refusal.isEmpty()) {
        refusals_.push_back([=](Listener& listener) { listener.disconnectRefused(uuid, peer, refusal); });
    } else if (codecs[uuid].follows) {
        codecs[uuid].active.remove(QString::number(peer));
    }
    return true;
}

bool FakeSessions::sendDisconnectAll(const QUuid& uuid) {
    if (!send(uuid, QStringLiteral("disconnect"))) return false;
    const QString refusal = codecs[uuid].disconnect_refusal;
    if (!refusal.isEmpty()) {
        refusals_.push_back([=](Listener& listener) { listener.disconnectAllRefused(uuid, refusal); });
    } else if (codecs[uuid].follows) {
        codecs[uuid].active.clear();
    }
    return true;
}

void FakeSessions::addLogLine(const QUuid& uuid, const QString& text) {
    if (codecs.contains(uuid)) codecs[uuid].log.append(text);
}

QString FakeSessions::unitLabel(const QUuid& uuid) const {
    return codecs.value(uuid).unit_name;
}

bool FakeSessions::findPeer(const QUuid& uuid, const QString& peer, QString& name, QString& address) const {
    name = codecs.value(uuid).names.value(peer);
    address = codecs.value(uuid).addresses.value(peer);
    return codecs.value(uuid).names.contains(peer);
}
