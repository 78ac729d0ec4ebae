#include "tests/scheduler/fake_sessions.h"

#include <algorithm>

const char kNoFreeChannel[] = "No free channel (error 409)";

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
    unread_.remove(uuid);
}

bool FakeSessions::isUnread(const QUuid& uuid, Command command, int peer) const {
    const auto unread = unread_.value(uuid);
    return std::any_of(unread.cbegin(), unread.cend(), [&](const std::pair<Command, int>& each) {
        return each.first == command && (peer == kAnyPeer || each.second == peer);
    });
}

void FakeSessions::noteUnread(const QUuid& uuid, Command command, int peer) {
    if (codecs.value(uuid).tells_reads) unread_[uuid].append({command, peer});
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
    // A dial sent as the codec read the last one (commandRead) is read and answered in turn.
    while (!unread_.isEmpty() || !refusals_.empty() || !connect_refusals_.empty()) tellRefusalsOnce();
}

void FakeSessions::tellRefusalsOnce() {
    const QList<QUuid> reading = unread_.keys();
    const auto refusals = std::move(refusals_);
    const auto connect_refusals = std::move(connect_refusals_);
    const auto connects = std::move(connects_);
    refusals_.clear();
    connect_refusals_.clear();
    connects_.clear();
    // Everything sent so far has been read once this is told.
    unread_.clear();
    if (!listener()) return;
    for (const auto& tell : refusals) tell(*listener());
    for (const ConnectRefusal& refused : connect_refusals) {
        const auto is_of_codec = [&refused](const Connect& each) { return each.codec == refused.codec; };
        const bool is_alone = std::count_if(connects.cbegin(), connects.cend(), is_of_codec) == 1;
        if (!codecs.value(refused.codec).are_refusals_unpaired || is_alone) {
            listener()->connectRefused(refused.codec, refused.peer, refused.reason, true);
            continue;
        }
        for (const Connect& each : connects) {
            if (is_of_codec(each) && !each.is_operators) {
                listener()->connectRefused(each.codec, each.peer, refused.reason, false);
            }
        }
    }
    for (const QUuid& codec : reading) listener()->commandRead(codec);
}

bool FakeSessions::answerRinging(const QUuid& uuid) {
    Codec& codec = codecs[uuid];
    bool is_any_up = false;
    for (auto ring = codec.ringing.begin(); ring != codec.ringing.end();) {
        if (--*ring > 0) {
            ++ring;
            continue;
        }
        codec.active.insert(ring.key());
        is_any_up = true;
        ring = codec.ringing.erase(ring);
    }
    return is_any_up;
}

bool FakeSessions::sendConnect(const QUuid& uuid, const QString& peer) {
    if (!send(uuid, QStringLiteral("connect ") + peer)) return false;
    connects_.push_back({uuid, peer, false});
    noteUnread(uuid, Command::kConnect, peer.toInt());
    const QString refusal = connectOnCodec(uuid, peer);
    if (!refusal.isEmpty()) connect_refusals_.push_back({uuid, peer, refusal});
    return true;
}

void FakeSessions::operatorConnect(const QUuid& uuid, const QString& peer) {
    if (!isReady(uuid)) return;
    connects_.push_back({uuid, peer, true});
    noteUnread(uuid, Command::kConnect, peer.toInt());
    if (!connectOnCodec(uuid, peer).isEmpty()) {
        refusals_.push_back([=](Listener& listener) { listener.operatorConnectRefused(uuid, peer); });
    }
    if (listener()) listener()->operatorConnected(uuid, peer);
}

void FakeSessions::operatorDisconnect(const QUuid& uuid, int peer) {
    if (!isReady(uuid)) return;
    noteUnread(uuid, Command::kDisconnect, peer);
    disconnectOnCodec(uuid, peer);
    if (listener()) listener()->operatorDisconnected(uuid, peer);
}

QString FakeSessions::connectOnCodec(const QUuid& uuid, const QString& peer) {
    Codec& codec = codecs[uuid];
    if (codec.rings_anew && codec.ringing.contains(peer)) {
        codec.ringing.insert(peer, codec.ring_steps(peer));
        return QString();
    }
    const bool is_full = codec.channels > 0 && codec.active.size() + codec.ringing.size() >= codec.channels &&
                         !codec.active.contains(peer);
    QString refusal = codec.connect_refusal;
    if (refusal.isEmpty() && (is_full || codec.refused_connects.contains(peer))) refusal = kNoFreeChannel;
    if (refusal.isEmpty() && codec.follows && !codec.unreachable.contains(peer) && !codec.active.contains(peer)) {
        if (!codec.slow.contains(peer)) {
            codec.active.insert(peer);
        } else if (!codec.ringing.contains(peer)) {
            codec.ringing.insert(peer, codec.ring_steps(peer));
        }
    }
    return refusal;
}

bool FakeSessions::disconnectOnCodec(const QUuid& uuid, int peer) {
    Codec& codec = codecs[uuid];
    if (!codec.disconnect_refusal.isEmpty()) return false;
    if (!codec.follows) return true;
    if (peer == kAnyPeer) {
        codec.active.clear();
        if (!codec.completes_stopped_connects) codec.ringing.clear();
        return true;
    }
    const QString id = QString::number(peer);
    codec.active.remove(id);
    if (!codec.completes_stopped_connects) codec.ringing.remove(id);
    return true;
}

bool FakeSessions::sendDisconnect(const QUuid& uuid, int peer) {
    if (!send(uuid, QStringLiteral("disconnect %1").arg(peer))) return false;
    noteUnread(uuid, Command::kDisconnect, peer);
    if (!disconnectOnCodec(uuid, peer)) {
        const QString refusal = codecs[uuid].disconnect_refusal;
        refusals_.push_back([=](Listener& listener) { listener.disconnectRefused(uuid, peer, refusal); });
    }
    return true;
}

bool FakeSessions::sendDisconnectAll(const QUuid& uuid) {
    if (!send(uuid, QStringLiteral("disconnect"))) return false;
    noteUnread(uuid, Command::kDisconnect, kAnyPeer);
    if (!disconnectOnCodec(uuid, kAnyPeer)) {
        const QString refusal = codecs[uuid].disconnect_refusal;
        refusals_.push_back([=](Listener& listener) { listener.disconnectAllRefused(uuid, refusal); });
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
