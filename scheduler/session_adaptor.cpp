#include "scheduler/session_adaptor.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "scheduler/job.h"
#include "sessions/ipc_object.h"
#include "sessions/session_requests.h"
#include "text/codec_text.h"
#include "text/unit_label.h"

SessionAdaptor::SessionAdaptor(FindSession find, ListSessions list) : find_(std::move(find)), list_(std::move(list)) {}

IPCObject* SessionAdaptor::session(const QUuid& uuid) const {
    return find_ && !uuid.isNull() ? find_(uuid) : nullptr;
}

void SessionAdaptor::watch(const QUuid& uuid) {
    IPCObject* codec = session(uuid);
    if (!codec || watched_.contains(uuid)) return;
    watched_.insert(uuid);
    // Direct: each list reaches the listener before the session settles the renames it shows.
    QObject::connect(codec, &IPCObject::recvPeerList, &connections_, [this, uuid] {
        if (listener()) listener()->peerListReceived(uuid);
    });
    QObject::connect(codec, &IPCObject::changedState, &connections_,
                     [this, uuid](QUuid, IQEndpointClient::DEVICE_STATE state) {
                         if (state != IQEndpointClient::READY) noteLeftReady(uuid);
                     });
    QObject::connect(codec, &IPCObject::operatorConnected, &connections_, [this, uuid](QUuid, const QString& peer) {
        noteSent(uuid, Command::kConnect, peer.toInt());
        if (listener()) listener()->operatorConnected(uuid, peer);
    });
    QObject::connect(codec, &IPCObject::operatorDisconnected, &connections_, [this, uuid](QUuid, int peer) {
        noteSent(uuid, Command::kDisconnect, peer);
        if (listener()) listener()->operatorDisconnected(uuid, peer);
    });
    QObject::connect(codec, &IPCObject::commandRead, &connections_,
                     [this, uuid](QUuid, const QString& request, int peer) { noteRead(uuid, request, peer); });
    QObject::connect(codec, &IPCObject::requestFailed, &connections_,
                     [this, uuid](QUuid, const QString& request, const QString& code, const QString& text,
                                  const FailureEffect& effect) { tellRefusal(uuid, request, code, text, effect); });
}

namespace {

// The scheduler's own commands go without an effect of the operator's: what a refusal of theirs
// leaves undone shows only on the scheduler's rows.
bool isSchedulersCommand(const QString& request, FailureEffect::Kind undone) {
    return undone == FailureEffect::kNone && (request == QLatin1String(session_requests::kConnect.refused_as()) ||
                                              request == QLatin1String(session_requests::kDisconnect.refused_as()));
}

QList<int> subjectIds(const QList<FailureEffect::Subject>& subjects) {
    QList<int> ids;
    for (const FailureEffect::Subject& subject : subjects) ids.append(subject.id);
    return ids;
}

}  // namespace

void SessionAdaptor::noteSent(const QUuid& uuid, Command command, int peer) {
    if (tellsCommandsRead(uuid)) unread_[uuid].append({command, peer});
}

void SessionAdaptor::noteRead(const QUuid& uuid, const QString& request, int peer) {
    const auto unread = unread_.find(uuid);
    if (unread == unread_.end()) return;
    const Command command =
        request == QLatin1String(session_requests::kConnect.refused_as()) ? Command::kConnect : Command::kDisconnect;
    // Read in the order sent: the oldest of its kind and peer.
    const auto read = std::find_if(unread->begin(), unread->end(), [&](const SentCommand& sent) {
        return sent.command == command && sent.peer == peer;
    });
    if (read != unread->end()) unread->erase(read);
    if (unread->isEmpty()) unread_.erase(unread);
    if (listener()) listener()->commandRead(uuid);
}

void SessionAdaptor::noteLeftReady(const QUuid& uuid) {
    // The listener still sees what was unread as the link went: never read, it may have been taken.
    if (listener()) listener()->codecLeftReady(uuid);
    unread_.remove(uuid);
}

bool SessionAdaptor::tellsCommandsRead(const QUuid& uuid) const {
    IPCObject* codec = session(uuid);
    return codec && codec->tellsCommandsRead();
}

bool SessionAdaptor::isUnread(const QUuid& uuid, Command command, int peer) const {
    const QList<SentCommand> unread = unread_.value(uuid);
    return std::any_of(unread.cbegin(), unread.cend(), [&](const SentCommand& sent) {
        return sent.command == command && (peer == kAnyPeer || sent.peer == peer);
    });
}

void SessionAdaptor::tellRefusal(const QUuid& uuid, const QString& request, const QString& code, const QString& text,
                                 const FailureEffect& effect) {
    if (!listener()) return;
    // The operator's connect refused, that one alone: should it have joined a booking, the
    // schedule's dial is free to go again.
    if (effect.kind == FailureEffect::kNotConnected && effect.asked && effect.subjects.size() == 1 &&
        request == QLatin1String(session_requests::kConnect.refused_as())) {
        listener()->operatorConnectRefused(uuid, QString::number(effect.subjects.front().id));
        return;
    }
    // The codec's words, bounded: they go to a log line and a status cell.
    const QString reason = QStringLiteral("%1 (error %2)").arg(shownCodecText(text), shownCodecText(code));
    if (effect.kind == FailureEffect::kNone) {
        if (isSchedulersCommand(request, effect.kind)) tellCommandRefused(uuid, request, effect.subjects, reason, true);
        return;
    }
    // A refusal that may answer any of several requests is told to each of the scheduler's among
    // them, as one that may be another's: the scheduler says it only where the codec's list shows
    // that command undone, and takes a stop it may answer as one the codec may not have taken. The
    // operator hears of their own candidates from the notice; a refusal of the scheduler's is never
    // lost for standing beside one of theirs.
    if (effect.kind != FailureEffect::kAnswersOneOf || effect.candidates.isEmpty()) return;
    // Every candidate the same command of the same peer: the refusal answered that one for sure.
    const FailureEffect::Candidate& first = effect.candidates.front();
    const bool is_sure = std::all_of(effect.candidates.cbegin(), effect.candidates.cend(),
                                     [&first](const FailureEffect::Candidate& candidate) {
                                         return candidate.request == first.request &&
                                                candidate.undone == first.undone &&
                                                subjectIds(candidate.subjects) == subjectIds(first.subjects);
                                     });
    for (const FailureEffect::Candidate& candidate : effect.candidates) {
        if (isSchedulersCommand(candidate.request, candidate.undone)) {
            tellCommandRefused(uuid, candidate.request, candidate.subjects, reason, is_sure);
        }
    }
}

void SessionAdaptor::tellCommandRefused(const QUuid& uuid, const QString& request,
                                        const QList<FailureEffect::Subject>& subjects, const QString& reason,
                                        bool is_sure) {
    if (subjects.size() > 1) return;  // the scheduler names one peer a command, or none
    const bool is_connect = request == QLatin1String(session_requests::kConnect.refused_as());
    if (subjects.isEmpty()) {
        if (!is_connect) listener()->disconnectAllRefused(uuid, reason);
        return;
    }
    const int peer = subjects.front().id;
    if (is_connect) {
        listener()->connectRefused(uuid, QString::number(peer), reason, is_sure);
    } else {
        listener()->disconnectRefused(uuid, peer, reason);
    }
}

bool SessionAdaptor::isRegistered(const QUuid& uuid) const {
    return session(uuid) != nullptr;
}

QUuid SessionAdaptor::findByAddress(const QString& host, int port) const {
    if (!list_) return {};
    for (IPCObject* candidate : list_()) {
        if (candidate && candidate->host == host && candidate->port == port) return candidate->uuid;
    }
    return {};
}

bool SessionAdaptor::address(const QUuid& uuid, QString& host, int& port) const {
    IPCObject* codec = session(uuid);
    if (!codec) return false;
    host = codec->host;
    port = codec->port;
    return true;
}

bool SessionAdaptor::isReady(const QUuid& uuid) const {
    IPCObject* codec = session(uuid);
    return codec && codec->state() == IQEndpointClient::READY;
}

bool SessionAdaptor::isPeerActive(const QUuid& uuid, const QString& peer) const {
    IPCObject* codec = session(uuid);
    if (!codec) return false;
    for (const PeerMetaPtr& active : codec->activePeerList()) {
        if (active->id == peer) return true;
    }
    return false;
}

QStringList SessionAdaptor::activePeers(const QUuid& uuid) const {
    QStringList ids;
    if (IPCObject* codec = session(uuid)) {
        for (const PeerMetaPtr& active : codec->activePeerList()) ids.append(active->id);
    }
    return ids;
}

namespace {

// Hands a command to a session and says whether it was sent: the session itself drops commands
// unless it is READY, and says so.
template <class Command>
bool sendIfReady(IPCObject* codec, Command command) {
    return codec && command(*codec);
}

}  // namespace

bool SessionAdaptor::sendConnect(const QUuid& uuid, const QString& peer) {
    if (!sendIfReady(session(uuid), [&](IPCObject& codec) { return codec.cmd_connect(peer); })) return false;
    noteSent(uuid, Command::kConnect, peer.toInt());
    return true;
}

bool SessionAdaptor::sendDisconnect(const QUuid& uuid, int peer) {
    if (!sendIfReady(session(uuid), [&](IPCObject& codec) { return codec.cmd_disconnect(peer); })) return false;
    noteSent(uuid, Command::kDisconnect, peer);
    return true;
}

bool SessionAdaptor::sendDisconnectAll(const QUuid& uuid) {
    if (!sendIfReady(session(uuid), [](IPCObject& codec) { return codec.cmd_disconnect_peer(); })) return false;
    noteSent(uuid, Command::kDisconnect, kAnyPeer);
    return true;
}

void SessionAdaptor::addLogLine(const QUuid& uuid, const QString& text) {
    if (IPCObject* codec = session(uuid)) codec->deviceLog.addEventLine(text);
}

QString SessionAdaptor::unitLabel(const QUuid& uuid) const {
    IPCObject* codec = session(uuid);
    return codec ? ::unitLabel(*codec) : QString();
}

bool SessionAdaptor::findPeer(const QUuid& uuid, const QString& peer, QString& name, QString& address) const {
    name.clear();
    address.clear();
    IPCObject* codec = session(uuid);
    if (!codec || !Job::isPeerId(peer)) return false;
    std::lock_guard<SessionMutex> lock(codec->mutex());
    const PeerMetaPtr found = codec->peerById.value(peer.toInt());
    if (!found) return false;
    name = found->name;
    address = found->addr;
    return true;
}

bool SessionAdaptor::isRenameSent(const QUuid& uuid, const QStringList& was, const QStringList& now) const {
    IPCObject* codec = session(uuid);
    return codec && codec->sentPeerRenames.isSent(was, now);
}
