// Scheduler's pass: what each pass decides and does. The plan is made from the bookings and the
// calls held, each codec and peer is reviewed, forces make their room, and then each codec and peer
// is brought to the plan: the calls nobody wants are released first, then a wanted call is held
// or dialled.
#include "scheduler/scheduler.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "scheduler/plan.h"
#include "scheduler/series.h"

namespace {

const QString kEndedLate = QStringLiteral("Call to %1 ended: it came up after its scheduled connection had ended");
const QString kEndedJoined =
    QStringLiteral("Call to %1 ended with its scheduled connection, which the operator's connect had joined");
const QString kEndedMadeByHand = QStringLiteral("Call to %1, connected by hand before its booking, ended with it");

}  // namespace

void Scheduler::tick() {
    runPass(clock_());
}

void Scheduler::runPass(const QDateTime& now) {
    // A receiver of our signals that runs a nested event loop could bring the timer back here.
    if (!mutex_.tryLock()) {
        qWarning("Scheduler: the previous pass is still running; skipping this one");
        return;
    }
    is_file_changed_ = false;
    is_shown_changed_ = false;
    dials_held_back_.clear();  // this pass holds back its own
    handOnToOpenOccurrences(now);
    if (held_calls_.dropOutdatedElements()) is_file_changed_ = true;
    Plan plan = makePlan(now);
    for (PeerCalls& calls : plan.calls) reviewPeer(calls, now);
    // On each codec what ends goes before what is dialled: first the forces make their room, then
    // the calls nobody wants are released, then the wanted calls are taken or dialled, each force's
    // own first, right behind the room it made. So no call is made and ended in one pass, and no
    // connect meets a channel that a release of the same pass was about to free (a codec with one
    // channel refuses it).
    makeRoomForForces(plan, now);
    for (PeerCalls& calls : plan.calls) letGoOfUnwanted(calls, now);
    std::vector<PeerCalls*> dials;
    for (PeerCalls& calls : plan.calls) {
        if (calls.is_forcing && takeOrNeedsDial(calls, now)) dials.push_back(&calls);
    }
    const auto forcing_end = static_cast<std::ptrdiff_t>(dials.size());
    for (PeerCalls& calls : plan.calls) {
        if (!calls.is_forcing && takeOrNeedsDial(calls, now)) dials.push_back(&calls);
    }
    dialInTurn(dials, static_cast<size_t>(forcing_end), now);
    // By index, reading the length each time: an occurrence added behind this one is settled too.
    for (size_t i = 0; i < jobs_.size(); ++i) {
        const JobPtr job = jobs_[i];
        settle(*job, plan, now);
    }
    QSet<QUuid> forcing_codecs;
    for (auto ended = ended_by_force_.cbegin(); ended != ended_by_force_.cend(); ++ended) {
        forcing_codecs.insert(ended.key().codec);
    }
    for (const QUuid& codec : forcing_codecs) sayCallsEndedByForce(codec);
    if (dropAgedDoneJobs(now)) emit scheduleUpdated();
    const bool is_file_changed = is_file_changed_;
    const bool is_shown_changed = is_shown_changed_ || std::exchange(is_done_row_changed_, false);
    mutex_.unlock();
    if (is_shown_changed) emit jobsShownChanged();
    if (is_file_changed) save();
}

void Scheduler::handOnToOpenOccurrences(const QDateTime& now) {
    for (size_t i = 0; i < jobs_.size(); ++i) {
        const JobPtr job = jobs_[i];
        if (job->state == Job::Done || !job->endReached(now) || job->is_next_refused || !isRecurring(*job)) continue;
        const Job next = nextOccurrence(*job, now);
        if (!hasNextOccurrence(*job, next) || !next.startReached(now)) continue;
        // The series' next window is open: its call, if up, is that occurrence's from now on.
        const bool is_same_peer = peerChangeReason(*job).isNone();
        finishOccurrence(*job, is_same_peer ? next.end : QDateTime(), now);
    }
}

Plan Scheduler::collectCalls(const std::function<bool(const PeerKey&)>& includes) const {
    Plan plan;
    // One walk: the bookings go to their codec and peer in the order of the list.
    for (const JobPtr& job : jobs_) {
        const PeerKey key{job->uuid, job->peer};
        if (job->state != Job::Done && includes(key)) plan.add(key).bookings.push_back(job.get());
    }
    for (auto held = held_calls_.cbegin(); held != held_calls_.cend(); ++held) {
        if (includes(held.key())) plan.add(held.key());
    }
    for (PeerCalls& calls : plan.calls) {
        calls.listed = listedIdentity(calls.key);
        calls.has_left = sightings_.hasLeft(calls.key);
    }
    return plan;
}

Plan Scheduler::makePlan(const QDateTime& now) const {
    Plan plan = collectCalls([](const PeerKey&) { return true; });
    for (PeerCalls& calls : plan.calls) weigh(calls, now);
    return plan;
}

void Scheduler::reviewPeer(PeerCalls& calls, const QDateTime& now) {
    const PeerKey& key = calls.key;
    if (!sessions_->isRegistered(key.codec)) {
        // Its codec left the fleet, and the call with it.
        if (held_calls_.forget(key)) is_file_changed_ = true;
        return;
    }
    if (!sessions_->isReady(key.codec)) return;
    // Who the peer is may have changed where no list showed it: decided before anything is sent.
    if (followPeer(key, calls.bookings, calls.listed, {})) {
        is_file_changed_ = true;
        emit scheduleUpdated();
        weigh(calls, now);
    }
    sightings_.seed(key, calls.listed);
}

bool Scheduler::isForcing(const PeerCalls& calls, const QDateTime& now) const {
    if (!calls.is_wanted || !sessions_->isReady(calls.key.codec)) return false;
    // Its connect goes right behind the room it makes, or the room waits for it.
    if (sessions_->isUnread(calls.key.codec, CodecSessions::Command::kConnect)) return false;
    const bool is_up = sessions_->isPeerActive(calls.key.codec, calls.key.peer);
    // A booking whose call came and went makes no room: it does not dial again.
    return std::any_of(calls.bookings.cbegin(), calls.bookings.cend(), [&](const Job* booking) {
        return needsRoom(*booking, calls, now) && (is_up || !booking->connected_at.isValid());
    });
}

void Scheduler::makeRoomForForces(Plan& plan, const QDateTime& now) {
    std::vector<QUuid> codecs;  // in order of their first forcing peer
    QHash<QUuid, std::vector<PeerCalls*>> forcing;
    for (PeerCalls& calls : plan.calls) {
        if (!isForcing(calls, now)) continue;
        std::vector<PeerCalls*>& of_codec = forcing[calls.key.codec];
        if (of_codec.empty()) codecs.push_back(calls.key.codec);
        of_codec.push_back(&calls);
    }
    for (const QUuid& codec : codecs) makeRoom(codec, forcing.value(codec), plan, now);
}

void Scheduler::makeRoom(const QUuid& codec, const std::vector<PeerCalls*>& forcing, Plan& plan, const QDateTime& now) {
    QStringList room;  // the forcing bookings' own peers
    for (const PeerCalls* calls : forcing) room.append(calls->key.peer);
    QStringList others;
    bool is_own_call_up = false;
    for (const QString& active : sessions_->activePeers(codec)) {
        if (room.contains(active)) {
            is_own_call_up = true;
        } else {
            others.append(active);
        }
    }
    if (is_own_call_up) {
        // A disconnect-all would cut the very call the room is made for: the others end one by one.
        for (const QString& other : others) sessions_->sendDisconnect(codec, other.toInt());
    } else if (sessions_->sendDisconnectAll(codec)) {
        held_calls_.noteConnectsLost(codec);
    } else {
        return;
    }
    QString forcer;
    for (PeerCalls* calls : forcing) {
        calls->is_forcing = true;
        for (Job* booking : calls->bookings) {
            if (!needsRoom(*booking, *calls, now)) continue;
            booking->forced_at = now;
            booking->forced_others = others;
            booking->force_refusal.clear();
            if (forcer.isEmpty()) forcer = peerText(*booking);
        }
    }
    is_file_changed_ = true;
    for (const QString& other : others) {
        // A call no booking wants (the operator's own, say) is named once it is seen gone.
        if (!noteEndedByForce(plan.find({codec, other}), forcer, now)) ended_by_force_.insert({codec, other}, forcer);
    }
}

bool Scheduler::noteEndedByForce(PeerCalls* ended, const QString& forcer, const QDateTime& now) {
    if (!ended) return false;
    bool is_noted = false;
    // Up before the force, its call was its bookings' own: ended, it is not dialled again.
    for (Job* booking : ended->bookings) {
        if (!wantsCall(*booking, *ended, now)) continue;
        if (!booking->connected_at.isValid()) booking->connected_at = now;
        booking->ended_by_force = forcer;
        booking->is_force_end_logged = false;
        is_noted = true;
    }
    weigh(*ended, now);
    return is_noted;
}

bool Scheduler::opensSoon(const Job& booking, const PeerCalls& calls, const QDateTime& now) {
    return opensWithin(booking, calls, now, qint64{HeldCall::kDialSettlePasses} * kTickMs);
}

bool Scheduler::opensSoon(const PeerCalls& calls, const QDateTime& now) {
    return std::any_of(calls.bookings.cbegin(), calls.bookings.cend(),
                       [&](const Job* booking) { return opensSoon(*booking, calls, now); });
}

void Scheduler::letGoOfUnwanted(PeerCalls& calls, const QDateTime& now) {
    const PeerKey& key = calls.key;
    if (!sessions_->isReady(key.codec)) return;
    if (forgetSettledDial(key)) is_file_changed_ = true;
    const auto awaiting = held_calls_.find(key);
    if (awaiting != held_calls_.end() && awaiting->is_awaiting_window) {
        if (!calls.is_wanted) {
            waitForWindow(calls, *awaiting, now);
            return;
        }
        // Its window is open: from this pass on the operator's connect is the window's dial, sent
        // again by its bound and stopped at its end as any.
        awaiting->is_awaiting_window = false;
    }
    if (sessions_->isPeerActive(key.codec, key.peer)) {
        if (!calls.is_wanted && !calls.is_maybe_wanted) release(calls, now);
        return;
    }
    if (forgetGoneCall(key)) {
        is_file_changed_ = true;
        return;
    }
    const auto held = held_calls_.find(key);
    if (held == held_calls_.end() || held->is_seen_up) return;
    held->countUnseenPass();
    if (!calls.is_wanted) stopOrForgetDial(key, *held, !calls.is_maybe_wanted);
}

void Scheduler::waitForWindow(const PeerCalls& calls, HeldCall& held, const QDateTime& now) {
    if (!opensSoon(calls, now)) {
        // No window wants it any more (its booking went): the operator's alone, never stopped.
        if (held_calls_.forget(calls.key)) is_file_changed_ = true;
        return;
    }
    if (!sessions_->isPeerActive(calls.key.codec, calls.key.peer)) held.countUnseenPass();
}

void Scheduler::stopOrForgetDial(const PeerKey& key, HeldCall& held, bool may_stop) {
    if (!held.isDialUnsettled()) {
        // Refused, silent longer than any far end takes, or stopped passes ago: nothing is on its way.
        if (held_calls_.forget(key)) is_file_changed_ = true;
        return;
    }
    // Its connect may still be on its way: stopped once, quietly, since no call came up to end.
    if (may_stop && !held.is_dial_stopped && sessions_->sendDisconnect(key.codec, key.peer.toInt())) {
        held.is_dial_stopped = true;
    }
}

bool Scheduler::takeOrNeedsDial(PeerCalls& calls, const QDateTime& now) {
    const PeerKey& key = calls.key;
    if (!calls.is_wanted || !sessions_->isReady(key.codec)) return false;
    if (!sessions_->isPeerActive(key.codec, key.peer)) return calls.needs_call;
    hold(calls, now);
    return false;
}

void Scheduler::dialInTurn(std::vector<PeerCalls*>& dials, size_t first_in_turn, const QDateTime& now) {
    // A codec takes one unread connect at a time (dial): among the others, the longest waiting
    // goes first, so that a peer refused at every pass keeps no other from its turn.
    std::stable_sort(dials.begin() + static_cast<std::ptrdiff_t>(first_in_turn), dials.end(),
                     [this](const PeerCalls* a, const PeerCalls* b) { return lastDialMs(*a) < lastDialMs(*b); });
    for (PeerCalls* calls : dials) dial(*calls, now);
}

void Scheduler::commandRead(const QUuid& uuid) {
    const bool is_any_held_back = std::any_of(dials_held_back_.cbegin(), dials_held_back_.cend(),
                                              [&uuid](const PeerKey& key) { return key.codec == uuid; });
    if (is_any_held_back) dialHeldBack(uuid);
}

void Scheduler::dialHeldBack(const QUuid& codec) {
    // A pass under way (a receiver's nested event loop) dials them itself.
    if (!mutex_.tryLock()) return;
    is_file_changed_ = false;
    const QDateTime now = clock_();
    // Each held-back peer once: one whose connect went since, and was refused, waits for the next
    // pass, so that a codec refusing every connect is not dialled round and round.
    QSet<PeerKey> held_back;
    for (auto key = dials_held_back_.begin(); key != dials_held_back_.end();) {
        if (key->codec != codec) {
            ++key;
            continue;
        }
        held_back.insert(*key);
        key = dials_held_back_.erase(key);
    }
    Plan of_codec = collectCalls([&held_back](const PeerKey& key) { return held_back.contains(key); });
    std::vector<PeerCalls*> dials;
    for (PeerCalls& calls : of_codec.calls) {
        weigh(calls, now);
        if (isDialOwed(calls, now)) dials.push_back(&calls);
    }
    dialInTurn(dials, 0, now);
    const bool is_file_changed = is_file_changed_;
    mutex_.unlock();
    if (is_file_changed) save();
}

bool Scheduler::isDialOwed(const PeerCalls& calls, const QDateTime& now) const {
    const PeerKey& key = calls.key;
    // A force that has not made its room yet waits for the pass, which makes it first.
    const bool is_room_owed = std::any_of(calls.bookings.cbegin(), calls.bookings.cend(),
                                          [&](const Job* booking) { return needsRoom(*booking, calls, now); });
    return calls.needs_call && !is_room_owed && sessions_->isReady(key.codec) &&
           !sessions_->isPeerActive(key.codec, key.peer);
}

qint64 Scheduler::lastDialMs(const PeerCalls& calls) const {
    const auto held = held_calls_.constFind(calls.key);
    const bool is_dialled = held != held_calls_.constEnd() && held->dialled_at.isValid();
    return is_dialled ? held->dialled_at.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

void Scheduler::hold(PeerCalls& calls, const QDateTime& now) {
    auto held = held_calls_.find(calls.key);
    if (held != held_calls_.end() && held->disconnect == HeldCall::Disconnect::kSent) {
        // Its disconnect is on its way: should the codec act on it, the call's going is the
        // schedule's own doing, and the booking that wants it now dials it again.
        held->disconnect = HeldCall::Disconnect::kOverruled;
        return;
    }
    // Up with nothing of the schedule's behind it, or by the operator's connect made for the window
    // before it opened: made by hand, and the booking's now.
    const bool is_made_by_hand = held == held_calls_.end() || held->is_awaiting_window ||
                                 (held->is_operators_connect && !held->is_joined_by_operator);
    for (Job* booking : calls.bookings) {
        if (!wantsCall(*booking, calls, now)) continue;
        if (held == held_calls_.end()) held = holdCallOf(calls.key, *booking, now);
        if (!booking->connected_at.isValid()) {
            booking->connected_at = now;
            is_file_changed_ = true;
        }
        noteLaterOccurrenceCall(*booking, now);
    }
    if (is_made_by_hand) held->is_made_by_hand = true;
    held->noteHeld();
}

void Scheduler::dial(PeerCalls& calls, const QDateTime& now) {
    std::vector<Job*> dialling;
    for (Job* booking : calls.bookings) {
        if (wantsCall(*booking, calls, now) && !booking->connected_at.isValid()) dialling.push_back(booking);
    }
    auto held = held_calls_.find(calls.key);
    // A connect on its way is waited for: see HeldCall::kDialSettlePasses.
    if (held != held_calls_.end() && !held->mayDialAgain()) return;
    // One connect the codec has not read yet at a time: its refusal, which names no peer, is then
    // paired with the connect it answers. The next goes as soon as the codec has read it
    // (commandRead), or at the next pass.
    if (sessions_->isUnread(calls.key.codec, CodecSessions::Command::kConnect)) {
        if (!dialling.empty()) dials_held_back_.insert(calls.key);
        return;
    }
    if (dialling.empty() || !sessions_->sendConnect(calls.key.codec, calls.key.peer)) return;
    for (Job* booking : dialling) booking->has_sent_connect = true;
    if (held == held_calls_.end()) held = holdCallOf(calls.key, *dialling.front(), now);
    held->noteConnectSent(now);
    if (!held->hasPeerIdentity()) held->dialled_name = sessions_->peerName(calls.key.codec, calls.key.peer);
    is_file_changed_ = true;  // the file keeps a dial until it is seen up
}

HeldCalls::Map::iterator Scheduler::holdCallOf(const PeerKey& key, const Job& booking, const QDateTime& now) {
    HeldCall call;
    call.peer_name = booking.peer_name;
    call.peer_address = booking.peer_address;
    call.since = now;
    is_file_changed_ = true;
    return held_calls_.hold(key, call);
}

void Scheduler::release(PeerCalls& calls, const QDateTime& now) {
    const auto held = held_calls_.find(calls.key);
    if (held == held_calls_.end()) return;  // not the schedule's: never cut
    if (noteSeenUp(*held, false)) is_file_changed_ = true;
    if (held->disconnect != HeldCall::Disconnect::kSent) {
        // Said once the codec's list shows it gone, not as the disconnect goes out: a codec may
        // refuse it.
        const QString peer = peerText(calls.key, held->peer_name);
        held->ended_line = held->is_late                 ? kEndedLate.arg(peer)
                           : held->is_joined_by_operator ? kEndedJoined.arg(peer)
                           : held->is_made_by_hand       ? kEndedMadeByHand.arg(peer)
                                                         : QString();
    }
    // After a refusal the codec is asked again less and less often, not at every pass.
    if (!held->mayDisconnectAt(now) || !sessions_->sendDisconnect(calls.key.codec, calls.key.peer.toInt())) return;
    held->noteDisconnectSent(now);
}

bool Scheduler::noteSeenUp(HeldCall& held, bool is_wanted) {
    if (held.is_seen_up) return false;
    held.is_seen_up = true;
    // Dialled, and up only once nobody wanted it: its far end answered after the windows closed.
    held.is_late = !is_wanted;
    return true;
}
