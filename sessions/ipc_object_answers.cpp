// What the codec's answers settle, for IPCObject: the requests whose answer decides more (a
// profile write, a copy's removal, a profile assigned before a connect) are noted as they go and
// paired with their answers on the loop thread; a refusal is raised as requestFailed on the GUI
// thread, with what it left undone of the operator's action and the requests it may answer.
#include "sessions/ipc_object.h"

#include <QDebug>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

#include "sessions/message_text.h"
#include "sessions/session_requests.h"

AwaitedAnswers<IPCObject::AwaitedNote>* IPCObject::awaited_answers(const std::string& seq) {
    namespace wire = session_requests;
    if (seq == wire::kSetProfile.refused_as()) return &profile_writes_;
    if (seq == wire::kDeleteCopyProfile.refused_as()) return &copy_deletions_;
    if (seq == wire::kSetPeerSettings.refused_as()) return &peer_assignments_;
    if (seq == wire::kAddPeer.refused_as()) return &peer_additions_;
    return nullptr;
}

IPCObject::AwaitedNote IPCObject::refusal_note(Asker asker, FailureEffect::Kind undone, const QList<int>& ids) {
    // The program's own requests leave nothing of the operator's undone, but name their ids, so
    // that the scheduler hears which of its disconnects a codec refused.
    // The program's own are the scheduler's, which hears when the codec has read them.
    const bool is_programs = asker != Asker::kOperator;
    return {0, QString(), {is_programs ? FailureEffect::kNone : undone, ids, nullptr, is_programs}, QString()};
}

const session_requests::OperatorRequest* IPCObject::asked_by_seq(const std::string& seq) {
    std::lock_guard<SessionMutex> lock(session_mutex());
    const auto found = asked_by_seq_.find(seq);
    return found == asked_by_seq_.end() ? nullptr : found->second;
}

IPCObject::Settlement IPCObject::settle_awaited(const Message& reply) {
    const Message::Attributes& attributes = reply.attributes();
    const std::string seq = attributes.get_string("seq", "");
    const bool is_refused = attributes.has("fail");
    std::optional<int> named_id;
    if (attributes.has("id")) named_id = attributes.get_int("id", 0);
    Settlement settled;
    std::lock_guard<SessionMutex> lock(session_mutex());
    AwaitedAnswers<AwaitedNote>* awaited = awaited_answers(seq);
    if (!awaited) return settled;
    const AwaitedAnswers<AwaitedNote>::Pairing pairing = awaited->take(named_id);
    if (!pairing.settled) return settled;
    // A refusal surely paired names what its request asked for, so that the operator hears which.
    const bool is_surely_refused = is_refused && pairing.is_sure;
    if (awaited == &peer_additions_) {
        if (is_surely_refused) settled.added_peer = pairing.settled->note.added_peer;
        return settled;
    }
    if (awaited == &peer_assignments_) {
        const QString& peer = pairing.settled->note.connect_peer;
        if (peer.isEmpty()) {
            if (is_surely_refused) settled.ids.append(pairing.settled->id);
            return settled;
        }
        if (pairing.is_sure && !is_refused) {
            settled.connect_peer = peer;
        } else {
            settled.effect = is_refused ? FailureEffect::kNotConnected : FailureEffect::kNotConnectedUnsure;
            settled.ids.append(peer.toInt());
        }
        return settled;
    }
    if (!is_refused) return settled;
    if (awaited == &copy_deletions_) {
        settled.effect = pairing.is_sure ? FailureEffect::kEmptyProfileLeft : FailureEffect::kEmptyProfileMayBeLeft;
        if (pairing.is_sure) settled.ids.append(pairing.settled->id);
        for (const auto& request : pairing.candidates) settled.ids.append(request.id);
    } else if (pairing.is_sure) {
        if (pairing.settled->note.copy_id > 0) {
            settled.effect = FailureEffect::kCopyNotMade;
            settled.ids.append(pairing.settled->note.copy_id);
        } else {
            settled.ids.append(pairing.settled->id);  // the edited profile
        }
    } else {
        // Perhaps a copy's write, perhaps an edit's: nothing is deleted on a guess.
        for (const auto& request : pairing.candidates) {
            if (request.note.copy_id > 0) settled.ids.append(request.note.copy_id);
        }
        if (!settled.ids.isEmpty()) settled.effect = FailureEffect::kEmptyProfileMayBeLeft;
    }
    return settled;
}

void IPCObject::report_refusal(const Message& reply, const QString& request,
                               const session_requests::OperatorRequest* asked, const Settlement& settled,
                               const std::vector<UnansweredRequests::Request>& candidates) {
    const Message::Attributes& attributes = reply.attributes();
    const QString code = text_of(attributes.get_string("error_code", ""));
    const QString text = text_of(attributes.get_string("error_text", ""));
    QStringList answerable;
    for (const UnansweredRequests::Request& candidate : candidates) answerable << text_of(candidate.name);
    const QString refused = candidates.empty() ? request : QStringLiteral("to one of ") + answerable.join(", ");
    qWarning().nospace().noquote() << log_name() << ": reply " << refused << " failed: error_code " << code
                                   << ", error_text \"" << text << "\"";
    queue_failure({request, asked, code, text, settled, candidates, {}});
}

void IPCObject::report_seqless_refusal(const Message& reply,
                                       const std::vector<UnansweredRequests::Request>& answerable) {
    if (answerable.size() == 1) {
        const UnansweredRequests::Request& request = answerable.front();
        report_refusal(reply, text_of(request.name), request.note.asked,
                       {request.note.effect, request.note.ids, QString(), QString()});
        return;
    }
    if (answerable.empty()) {
        qWarning("a refusal without seq names no request: none without seq awaited an answer");
        report_refusal(reply, QString(), nullptr, {});
        return;
    }
    report_refusal(reply, QString(), nullptr, {FailureEffect::kAnswersOneOf, {}, QString(), QString()}, answerable);
}

void IPCObject::queue_failure(RequestFailure failure) {
    queue_own_slot(OwnSlot::kRaiseRequestFailed, std::make_shared<const RequestFailure>(std::move(failure)));
}

void IPCObject::on_link_lost(const std::vector<RequestsInFlight::Request>& unsettled, const ConnectionFault& why) {
    namespace wire = session_requests;
    // A connection the program closed itself (a new password, a reconnect) lost nothing unawares.
    if (why.kind == ConnectionFault::kNone) return;
    for (const RequestsInFlight::Request& request : unsettled) {
        if (!request.note.asked) continue;
        const bool is_waiting_connect =
            request.seq == wire::kSetPeerSettings.refused_as() && request.note.effect == FailureEffect::kNotConnected;
        const QString asked = text_of(request.seq.empty() ? request.name : request.seq);
        qWarning().noquote() << log_name() << ": the connection ended before" << asked << "was answered";
        Settlement settled;
        settled.effect = is_waiting_connect ? FailureEffect::kNotConnectedNoAnswer : FailureEffect::kNoAnswer;
        settled.ids = request.note.ids;
        queue_failure({asked, request.note.asked, QString(), QString(), settled, {}, why});
    }
}

// ------------------------------------------------------------------------------------------------
// Raising a refusal (GUI thread)

void IPCObject::on_commands_read(const std::vector<RequestsInFlight::Request>& read) {
    // Behind any refusal of theirs, which the same reply hook queued first.
    queue_own_slot(OwnSlot::kTellCommandsRead, std::make_shared<const std::vector<RequestsInFlight::Request>>(read));
}

void IPCObject::tellCommandsRead(const std::vector<RequestsInFlight::Request>& read) {
    for (const RequestsInFlight::Request& command : read) {
        emit commandRead(uuid, text_of(command.name), command.note.ids.value(0, -1));
    }
}

void IPCObject::raiseRequestFailed(const RequestFailure& failure) {
    FailureEffect effect;
    effect.kind = failure.settled.effect;
    effect.asked = failure.asked;
    effect.lostLink = failure.lost_link;
    effect.subjects = effect_subjects(failure.request, failure.settled.ids);
    // A refused "addPeer" names the peer it would have added, which no list holds.
    if (!failure.settled.added_peer.isEmpty()) effect.subjects.append({0, failure.settled.added_peer});
    for (const UnansweredRequests::Request& candidate : failure.candidates) {
        effect.candidates.append(answerable_candidate(candidate));
    }
    // The copy's first step made an empty profile: it goes again rather than stay blank.
    if (effect.kind == FailureEffect::kCopyNotMade) delete_copy_profile(effect.subjects.value(0).id);
    const bool isEventLogPoll = failure.request == QLatin1String(session_requests::kGetEventLog.seq);
    if (isEventLogPoll && effect.isRefusal()) noteEventLogRefusal(Refusal{failure.code, failure.text});
    emit requestFailed(uuid, failure.request, failure.code, failure.text, effect);
}

void IPCObject::noteEventLogRefusal(const std::optional<Refusal>& refusal) {
    if (eventLogRefusal_ == refusal) return;
    eventLogRefusal_ = refusal;
    emit eventLogRefusalChanged();
}

QList<FailureEffect::Subject> IPCObject::effect_subjects(const QString& request, const QList<int>& ids) {
    QList<FailureEffect::Subject> subjects;
    for (const int id : ids) subjects.append(effect_subject(request, id));
    return subjects;
}

FailureEffect::Candidate IPCObject::answerable_candidate(const UnansweredRequests::Request& request) {
    FailureEffect::Candidate candidate;
    candidate.request = text_of(request.name);
    candidate.asked = request.note.asked;
    candidate.undone = request.note.effect;
    candidate.subjects = effect_subjects(candidate.request, request.note.ids);
    candidate.isShownDone = is_shown_done(candidate.undone, candidate.subjects);
    return candidate;
}

bool IPCObject::is_shown_done(FailureEffect::Kind undone, const QList<FailureEffect::Subject>& subjects) {
    const bool wants_on_air = undone == FailureEffect::kNotConnected;
    if (!wants_on_air && undone != FailureEffect::kNotDisconnected) return false;
    std::lock_guard<SessionMutex> lock(session_mutex());
    // A disconnect without a subject is of every peer.
    if (subjects.isEmpty()) return !wants_on_air && activePeerCount == 0;
    return std::all_of(subjects.cbegin(), subjects.cend(), [&](const FailureEffect::Subject& subject) {
        return activePeerIds.contains(subject.id) == wants_on_air;
    });
}

FailureEffect::Subject IPCObject::effect_subject(const QString& request, int id) {
    namespace wire = session_requests;
    static const QStringList kPeerRequests = {QLatin1String(wire::kConnect.refused_as()),
                                              QLatin1String(wire::kDisconnect.refused_as()),
                                              QLatin1String(wire::kSetPeerSettings.refused_as()),
                                              QLatin1String(wire::kRemovePeer.refused_as()),
                                              QLatin1String(wire::kAddPeer.refused_as())};
    FailureEffect::Subject subject;
    subject.id = id;
    std::lock_guard<SessionMutex> lock(session_mutex());
    if (kPeerRequests.contains(request)) {
        if (const PeerMetaPtr peer = peerById.value(id)) subject.name = peer->name;
        return subject;
    }
    const QString key = QString::number(id);
    for (const ProfileInfo& profile : qAsConst(profiles)) {
        if (profile.id == key) subject.name = profile.name;
    }
    return subject;
}
