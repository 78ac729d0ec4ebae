// Scheduler as a listener of the codecs: what their peer lists tell of each booking's peer (who it
// is now) and of the schedule's calls (up, or gone), and what their refusals answer; with the
// lookups of a peer and its held call in the codec's last list.
#include "scheduler/scheduler.h"

#include <algorithm>
#include <utility>

#include "scheduler/plan.h"

namespace {

const QString kLateCallEnded = QStringLiteral("missed: its call came up late, and was ended");
const QString kLateEndRefused = QStringLiteral("missed: its call came up late, and the codec refused to end it: %1");
// The call went after the codec had refused to end it: by its far end, or a later disconnect.
const QString kLateCallEndedAfterRefusal =
    QStringLiteral("missed: its call came up late; the codec refused to end it, and it ended at %1");
// The codec's words are in the log line: the row stays short enough for its column.
const QString kLateGivenUp =
    QStringLiteral("missed: its call came up late and stays up: the codec refused %1 times to end it");
// The operator's own disconnect took over from the schedule's retries.
const QString kLateLeftToOperator = QStringLiteral(
    "missed: its call came up late; the codec refused to end it, and the schedule left it to the operator's "
    "disconnect at %1");
const QString kLateEndRefusedLine =
    QStringLiteral("Call to %1 came up after its scheduled connection had ended; the codec refused to end it: %2");
const QString kLateEndedAfterRefusalLine = QStringLiteral(
    "Call to %1 ended at %2; it had come up after its scheduled connection had ended, and the codec had refused to "
    "end it");
const QString kLateGivenUpLine = QStringLiteral(
    "Call to %1 stays up: the codec refused %2 times to end it, and the schedule no longer tries (last: %3)");
const QString kEndedByForceLine = QStringLiteral("Call to %1 ended by the forced connection to %2");

}  // namespace

void Scheduler::peerListReceived(const QUuid& uuid) {
    // A list from a codec that is not ready tells nothing; the first pass once it is decides.
    if (!sessions_->isReady(uuid)) return;
    Plan of_codec = collectCalls([&uuid](const PeerKey& key) { return key.codec == uuid; });
    bool is_changed = false;
    for (PeerCalls& calls : of_codec.calls) {
        const QStringList seen_before = sightings_.see(calls.key, calls.listed);
        is_changed = followPeer(calls.key, calls.bookings, calls.listed, seen_before) || is_changed;
        is_changed = forgetSettledDial(calls.key) || is_changed;
        is_changed = forgetGoneCall(calls.key) || noteCallUp(calls, clock_()) || is_changed;
    }
    sayCallsEndedByForce(uuid);
    if (is_changed) emit scheduleUpdated();
    showNews(uuid, is_changed);
}

void Scheduler::showNews(const QUuid& uuid, bool is_file_changed) {
    // A pass under way (a receiver's nested event loop) settles the rows itself.
    if (!mutex_.tryLock()) {
        if (is_file_changed) save();
        return;
    }
    is_file_changed_ = is_file_changed;
    is_shown_changed_ = false;
    const QDateTime now = clock_();
    Plan of_codec = collectCalls([&uuid](const PeerKey& key) { return key.codec == uuid; });
    for (PeerCalls& calls : of_codec.calls) weigh(calls, now);
    for (size_t i = 0; i < jobs_.size(); ++i) {
        const JobPtr job = jobs_[i];
        if (job->uuid != uuid) continue;
        // One whose start has come waits for the pass that dials it, and one whose end has come for
        // the pass that ends its call; one Ending follows the codec's list at once.
        const bool awaits_pass =
            job->endReached(now) ? job->state != Job::Ending : job->state == Job::Waiting && job->startReached(now);
        if (!awaits_pass) settle(*job, of_codec, now);
    }
    const bool is_saved = is_file_changed_;
    const bool is_shown_changed = is_shown_changed_ || std::exchange(is_done_row_changed_, false);
    mutex_.unlock();
    if (is_shown_changed) emit jobsShownChanged();
    if (is_saved) save();
}

bool Scheduler::forgetGoneCall(const PeerKey& key) {
    const auto held = held_calls_.find(key);
    if (held == held_calls_.end() || sessions_->isPeerActive(key.codec, key.peer)) return false;
    // Only a call seen up, or one whose disconnect went out, is gone; a connect may still be on its way.
    if (!held->is_seen_up && held->disconnect == HeldCall::Disconnect::kNone) return false;
    const bool is_ended = held->disconnect == HeldCall::Disconnect::kSent;
    QString line = is_ended ? held->ended_line : QString();
    const bool is_late = is_ended && held->is_late;
    const bool was_refused = !held->refusal.isEmpty();
    const QString peer = peerText(key, held->peer_name);
    held_calls_.forget(key);
    const QDateTime now = clock_();
    if (is_late && was_refused) line = kLateEndedAfterRefusalLine.arg(peer, timeText(now, now));
    if (!line.isEmpty()) logLine(key.codec, line);
    if (is_late)
        showOnLateCallsRow(key, was_refused ? kLateCallEndedAfterRefusal.arg(timeText(now, now)) : kLateCallEnded);
    return true;
}

bool Scheduler::isStopTaken(const PeerKey& key, const HeldCall& held) const {
    // A codec reads in order: once it has read what was sent after the stop, the stop's refusal
    // would have come.
    return held.is_dial_stopped && !held.is_seen_up && !held.is_stop_unsure && sessions_->isReady(key.codec) &&
           sessions_->tellsCommandsRead(key.codec) &&
           !sessions_->isUnread(key.codec, CodecSessions::Command::kDisconnect, key.peer.toInt());
}

bool Scheduler::forgetSettledDial(const PeerKey& key) {
    const auto held = held_calls_.find(key);
    if (held == held_calls_.end() || !isStopTaken(key, *held)) return false;
    // Nothing of the dial rings any more: a call seen up now was made by someone else.
    return held_calls_.forget(key);
}

void Scheduler::sayCallsEndedByForce(const QUuid& codec) {
    if (!sessions_->isReady(codec)) return;
    for (auto ended = ended_by_force_.begin(); ended != ended_by_force_.end();) {
        if (ended.key().codec != codec || sessions_->isPeerActive(codec, ended.key().peer)) {
            ++ended;
            continue;
        }
        logLine(codec, kEndedByForceLine.arg(peerText(ended.key(), QString()), *ended));
        ended = ended_by_force_.erase(ended);
    }
}

Job* Scheduler::lateCallsRow(const PeerKey& key) const {
    // The occurrence that dialled it: the last of its peer to finish.
    Job* dialled_for = nullptr;
    for (const JobPtr& job : jobs_) {
        if (job->state != Job::Done || job->uuid != key.codec || job->peer != key.peer) continue;
        if (!dialled_for || job->finished_at > dialled_for->finished_at) dialled_for = job.get();
    }
    return dialled_for;
}

void Scheduler::showOnLateCallsRow(const PeerKey& key, const QString& status) {
    Job* dialled_for = lateCallsRow(key);
    if (!dialled_for) return;
    const auto held = held_calls_.find(key);
    if (held != held_calls_.end() && held->is_late) {
        held->late_row_start = dialled_for->start;
        held->late_row_end = dialled_for->end;
    }
    if (dialled_for->warning == status) return;
    dialled_for->showStatus(status);
    is_done_row_changed_ = true;
}

bool Scheduler::noteCallUp(const PeerCalls& calls, const QDateTime& now) {
    const auto held = held_calls_.find(calls.key);
    if (held == held_calls_.end() || held->disconnect != HeldCall::Disconnect::kNone ||
        !sessions_->isPeerActive(calls.key.codec, calls.key.peer)) {
        return false;
    }
    const bool is_wanted = std::any_of(calls.bookings.cbegin(), calls.bookings.cend(),
                                       [&](const Job* booking) { return wantsCall(*booking, calls, now); });
    // The operator's call before its window: the window takes it as it opens.
    if (held->is_awaiting_window && !is_wanted) return false;
    // The file keeps a dial only until it is seen up.
    bool is_noted = noteSeenUp(*held, is_wanted);
    for (Job* booking : calls.bookings) {
        if (!wantsCall(*booking, calls, now)) continue;
        is_noted = noteLaterOccurrenceCall(*booking, now) || is_noted;
        if (booking->connected_at.isValid()) continue;
        booking->connected_at = now;
        is_noted = true;
    }
    return is_noted;
}

void Scheduler::codecLeftReady(const QUuid& uuid) {
    sightings_.forgetCodec(uuid);
    // A stop the codec had not read as the link went may never have reached it.
    for (auto held = held_calls_.begin(); held != held_calls_.end(); ++held) {
        const PeerKey& key = held.key();
        if (key.codec != uuid || !held->is_dial_stopped) continue;
        if (!sessions_->tellsCommandsRead(uuid) ||
            sessions_->isUnread(uuid, CodecSessions::Command::kDisconnect, key.peer.toInt())) {
            held->is_stop_unsure = true;
        }
    }
    held_calls_.noteConnectsLost(uuid);
}

void Scheduler::connectRefused(const QUuid& uuid, const QString& peer, const QString& reason, bool is_sure) {
    const PeerKey key{uuid, Job::normalPeerId(peer)};
    const auto held = held_calls_.find(key);
    // Only a refusal of this connect alone tells that it is not on its way; an earlier connect that
    // drew none may still be ringing.
    if (is_sure && held != held_calls_.end() && !held->is_seen_up) held->noteConnectRefused();
    // Said on the rows of the occurrences that dialled it, while their call is not up.
    for (const JobPtr& job : jobs_) {
        if (job->state == Job::Done || job->uuid != uuid || job->peer != key.peer) continue;
        if (!job->has_sent_connect || job->connected_at.isValid()) continue;
        job->connect_refusal = reason;
        job->is_connect_refusal_sure = is_sure;
    }
    showNews(uuid, false);
}

void Scheduler::disconnectRefused(const QUuid& uuid, int peer, const QString& reason) {
    const PeerKey key{uuid, QString::number(peer)};
    const auto held = held_calls_.find(key);
    // A stop of its dial refused, or maybe: what rang may come up all the same, late.
    if (held != held_calls_.end() && held->is_dial_stopped) held->is_stop_unsure = true;
    if (held != held_calls_.end() && held->disconnect == HeldCall::Disconnect::kSent) {
        held->noteDisconnectRefused(reason);
        // A booking that still waits for the end says it on its row; a late call has none but the
        // occurrence that dialled it, which is Done. Said once.
        if (held->is_late && !held->is_refusal_said) {
            held->is_refusal_said = true;
            logLine(uuid, kLateEndRefusedLine.arg(peerText(key, held->peer_name), reason));
            showOnLateCallsRow(key, kLateEndRefused.arg(reason));
        }
        if (held->isGivenUp()) giveUpLateCall(key, *held);
    }
    noteForceRefused(uuid, QString::number(peer), reason);
    showNews(uuid, false);
}

bool Scheduler::restoreLateCallRows(const QDateTime& now) {
    bool is_added = false;
    for (auto held = held_calls_.cbegin(); held != held_calls_.cend(); ++held) {
        const PeerKey& key = held.key();
        if (!held->is_late || held->refusal.isEmpty() || !held->late_row_start.isValid() || lateCallsRow(key)) continue;
        Job row;
        row.uuid = key.codec;
        row.peer = key.peer;
        row.peer_name = held->peer_name;
        row.peer_address = held->peer_address;
        row.start = held->late_row_start;
        row.end = held->late_row_end;
        row.recurrence_end = row.end;
        row.state = Job::Done;
        row.finished_at = now;
        row.id = nextJobId();
        row.showStatus(kLateEndRefused.arg(held->refusal));
        is_added = insertJob(row) != nullptr || is_added;
    }
    return is_added;
}

void Scheduler::giveUpLateCall(const PeerKey& key, const HeldCall& held) {
    const QString count = QString::number(held.refusal_count);
    logLine(key.codec, kLateGivenUpLine.arg(peerText(key, held.peer_name), count, held.refusal));
    showOnLateCallsRow(key, kLateGivenUp.arg(count));
    held_calls_.forget(key);
    save();
}

void Scheduler::operatorConnectRefused(const QUuid& uuid, const QString& peer) {
    // The operator's refused connect was the last connect of a dial it joined, or of one that
    // waits for a window: the dial is the schedule's own again, and may go at the next pass.
    const PeerKey key{uuid, Job::normalPeerId(peer)};
    const auto held = held_calls_.find(key);
    if (held == held_calls_.end() || held->is_seen_up || !held->is_operators_connect) return;
    held->noteConnectRefused();
    held->is_operators_connect = false;
    held->is_awaiting_window = false;
    held->is_joined_by_operator = false;
    // Neither its row nor a line credits the operator with a connect the codec refused.
    for (const JobPtr& job : jobs_) {
        if (job->state != Job::Done && job->uuid == uuid && job->peer == key.peer) job->has_operator_connect = false;
    }
}

void Scheduler::operatorDisconnected(const QUuid& uuid, int peer) {
    // The operator ends the call themselves: a late call the codec would not end, or any call the
    // schedule was ending, is theirs now, and no retry of the schedule's cuts it later.
    std::vector<PeerKey> released;
    std::vector<PeerKey> late_released;  // their rows tell of the schedule's retries
    for (auto held = held_calls_.cbegin(); held != held_calls_.cend(); ++held) {
        const PeerKey& key = held.key();
        const bool is_of_peer =
            key.codec == uuid && (peer == CodecSessions::kAnyPeer || key.peer == QString::number(peer));
        if (!is_of_peer || held->disconnect != HeldCall::Disconnect::kSent) continue;
        released.push_back(key);
        if (held->is_late && !held->refusal.isEmpty()) late_released.push_back(key);
    }
    for (const PeerKey& key : released) held_calls_.forget(key);
    const QDateTime now = clock_();
    for (const PeerKey& key : late_released) showOnLateCallsRow(key, kLateLeftToOperator.arg(timeText(now, now)));
    if (!released.empty()) save();
    if (!late_released.empty() && std::exchange(is_done_row_changed_, false)) emit jobsShownChanged();
}

void Scheduler::operatorConnected(const QUuid& uuid, const QString& peer) {
    // Outside a pass: one under way (a receiver's nested event loop) holds the calls it acts on.
    if (!mutex_.tryLock()) {
        QMetaObject::invokeMethod(
            this, [this, uuid, peer] { operatorConnected(uuid, peer); }, Qt::QueuedConnection);
        return;
    }
    const PeerKey key{uuid, Job::normalPeerId(peer)};
    const QDateTime now = clock_();
    Plan of_key = collectCalls([&key](const PeerKey& other) { return other == key; });
    PeerCalls& calls = of_key.add(key);
    weigh(calls, now);
    bool is_file_changed = false;
    if (calls.is_wanted) {
        // A window of its peer is open: the operator's call joins the booking, as one made before
        // its start does, and is in flight as the schedule's own connect would be.
        if (!isCallKnownUp(key)) {
            takeOperatorsDial(calls, true, now).is_joined_by_operator = true;
            is_file_changed = true;
        }
    } else if (!isCallKnownUp(key) && opensSoon(calls, now)) {
        // A window of its peer opens within a dial's bound: it waits for this connect as for its
        // own, and takes the call as one made before its start.
        takeOperatorsDial(calls, false, now).is_awaiting_window = true;
        is_file_changed = true;
    } else {
        // The operator's alone: a dial of the peer that may still come up is no longer the
        // schedule's to end.
        is_file_changed = held_calls_.forget(key);
    }
    mutex_.unlock();
    if (is_file_changed) save();
}

HeldCall& Scheduler::takeOperatorsDial(const PeerCalls& calls, bool is_window_open, const QDateTime& now) {
    auto held = held_calls_.find(calls.key);
    for (Job* booking : calls.bookings) {
        const bool is_joined = is_window_open ? wantsCall(*booking, calls, now) : opensSoon(*booking, calls, now);
        if (!is_joined) continue;
        booking->has_operator_connect = true;
        if (held == held_calls_.end()) held = holdCallOf(calls.key, *booking, now);
    }
    held->noteConnectSent(now, true);
    return *held;
}

void Scheduler::disconnectAllRefused(const QUuid& uuid, const QString& reason) {
    noteForceRefused(uuid, QString(), reason);
    showNews(uuid, false);
}

void Scheduler::noteForceRefused(const QUuid& uuid, const QString& other, const QString& reason) {
    const QDateTime now = clock_();
    // A call the force may not have ended: should it go later, it went for another reason.
    for (auto ended = ended_by_force_.begin(); ended != ended_by_force_.end();) {
        const bool is_maybe_refused = ended.key().codec == uuid && (other.isEmpty() || ended.key().peer == other);
        ended = is_maybe_refused ? ended_by_force_.erase(ended) : std::next(ended);
    }
    for (const JobPtr& job : jobs_) {
        if (job->state == Job::Done || job->uuid != uuid) continue;
        // A call the force did not end, should it go later, went for another reason.
        if (!job->ended_by_force.isEmpty() && sessions_->isPeerActive(uuid, job->peer)) job->ended_by_force.clear();
        if (!job->priority || !job->forced_at.isValid()) continue;
        // Only the force of the last pass may be answered: the codec answers at once.
        if (job->forced_at.msecsTo(now) >= kTickMs) continue;
        if (other.isEmpty() || job->forced_others.contains(other)) job->force_refusal = reason;
    }
}

bool Scheduler::followPeer(const PeerKey& key, const std::vector<Job*>& bookings, const QStringList& listed,
                           const QStringList& seen_before) {
    if (listed.isEmpty()) return false;  // nothing under the id: the pass forgets a call held for it
    const auto held = held_calls_.find(key);
    const bool has_held = held != held_calls_.end() && held->hasPeerIdentity();
    // The peers the bookings and the held call know under the id, other than the one listed.
    QList<QStringList> known;
    if (has_held && !held->isOf(listed)) known.append({key.peer, held->peer_name, held->peer_address});
    for (const Job* booking : bookings) {
        const QStringList was = booking->peerIdentity();
        if (booking->hasPeerIdentity() && was != listed && !known.contains(was)) known.append(was);
    }
    bool is_renamed = false;
    for (const QStringList& was : known) {
        if (!isFollowed(key, was, listed, seen_before)) continue;
        for (Job* booking : bookings) {
            if (booking->peerIdentity() != was) continue;
            booking->peer_name = listed.value(1);
            booking->peer_address = listed.value(2);
        }
        if (has_held && held->isOf(was)) {
            held->peer_name = listed.value(1);
            held->peer_address = listed.value(2);
        }
        is_renamed = true;
    }
    if (has_held && !held->isOf(listed)) {
        // Another peer's call now, or this one's at another host: not the schedule's to cut.
        held_calls_.forget(key);
        return true;
    }
    return is_renamed;
}

bool Scheduler::isFollowed(const PeerKey& key, const QStringList& was, const QStringList& listed,
                           const QStringList& seen_before) const {
    if (sessions_->isRenameSent(key.codec, was, listed)) return true;
    // Another client's change of the host, seen or not, may put another far end on air.
    if (was.value(2) != listed.value(2)) return false;
    if (!seen_before.isEmpty() && seen_before == was) return true;
    // Renamed where no list showed it: the schedule's own call, still up under the id, shows it is
    // the same peer, unless the id was seen to leave.
    const auto held = held_calls_.constFind(key);
    return held != held_calls_.constEnd() && held->hasPeerIdentity() && held->isOf(was) && !sightings_.hasLeft(key) &&
           sessions_->isPeerActive(key.codec, key.peer);
}

QStringList Scheduler::listedIdentity(const PeerKey& key) const {
    QString name, address;
    if (!sessions_->findPeer(key.codec, key.peer, name, address)) return {};
    return {key.peer, name, address};
}

const HeldCall* Scheduler::heldCallOf(const Job& booking) const {
    const auto held = held_calls_.constFind({booking.uuid, booking.peer});
    return held != held_calls_.constEnd() && held->isOf(booking.peerIdentity()) ? &*held : nullptr;
}

bool Scheduler::isCallKnownUp(const PeerKey& key) const {
    return sessions_->isReady(key.codec) && sessions_->isPeerActive(key.codec, key.peer);
}
