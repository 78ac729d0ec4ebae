// Scheduler's bookings as their occurrences go: each job's state settled from the plan after a
// pass, its finish with the line it deserves, the next occurrence of its series and the "missed"
// lines of those that passed unseen, and the reasons a job's row and the codec's log give.
#include "scheduler/scheduler.h"

#include <QDebug>
#include <QLocale>

#include <algorithm>

#include "scheduler/local_date_time.h"
#include "scheduler/plan.h"
#include "scheduler/series.h"
#include "text/codec_text.h"

namespace {

// The texts a booking's occurrences give, grouped by where each shows. The same words may stand in
// two groups: each place says its own, and changing one leaves the others as they are.

// Its row's Status column in "Scheduled Connections": what became of its call. Why it waits is a
// BookingReason, worded where it is shown; a line of the codec's log that says why it waits quotes
// those words (%2 below).
const QString kEndedByForce = QStringLiteral("its call was ended by the forced connection to %1");
// A file written before jobs noted their calls cannot tell whether this one ran.
const QString kEndedWhileClosed = QStringLiteral("its end passed while the program was closed");
const QString kLeftUp = QStringLiteral("call to %1 left up for the scheduled connection until %2");
const QString kCallEnded = QStringLiteral("its call has ended");
const QString kEndedEarly = QStringLiteral("its call ended early, at %1");
const QString kEndedAfterRefusal = QStringLiteral("its call ended at %1; the codec had refused to end it");
// Its connect went out again once nothing came within a dial's bound.
const QString kConnectResent =
    QStringLiteral("its call has not come up since its connect at %1; connect sent again at %2");
const QString kLeftUpSince = QStringLiteral("call left up, since %1");
const QString kMissedStatus = QStringLiteral("missed: %1");

// Why an occurrence was missed: on its row after "missed: ", and in its line of the codec's log.
// A reason it waited for, or a refusal, is said as it was said on its row (BookingReason).
const QString kTooLate = QStringLiteral("its end had passed");
// Its connects went out, and none was seen to take.
const QString kNeverUp = QStringLiteral("its call did not come up");
// The operator connected it in its window too, or shortly before it.
const QString kNeverUpWithOperator = QStringLiteral("neither its connects nor the operator's brought its call up");
// ... and that connect, still ringing as the window closed, was stopped.
const QString kOperatorsDialStopped = QStringLiteral("the operator's connect, taken as its dial, was stopped with it");
// The program closed while its connect rang, and its end passed before it ran again.
const QString kDialOpenAtClose = QStringLiteral("its call had not come up when the program closed");
const QString kNeverRan = QStringLiteral("its end passed before it could run");
// Said in the codec's log only, of the occurrences that passed unseen.
const QString kOccurrencePassed = QStringLiteral("its occurrence at %1 passed before it could run");
const QString kMoreOccurrencesPassed =
    QStringLiteral("%1 more occurrences, the last at %2, passed before they could run");

// The codec's log (the dock's Log tab, and the program's warnings): a line each, naming the
// booking's peer (%1).
const QString kConnectWaits = QStringLiteral("Scheduled connection to %1 waits: %2");
const QString kDisconnectWaits = QStringLiteral("Scheduled disconnection from %1 waits: %2");
const QString kDisconnectRefused = QStringLiteral("Scheduled disconnection from %1 refused by the codec: %2");
const QString kConnectRefusedLine = QStringLiteral("Scheduled connection to %1 refused by the codec: %2");
const QString kConnectMaybeRefusedLine =
    QStringLiteral("Scheduled connection to %1: a connect may have been refused by the codec: %2");
const QString kForceRefusedLine =
    QStringLiteral("Scheduled connection to %1: the codec refused to end its other calls: %2");
const QString kEndedByForceLine = QStringLiteral("Call to %1 ended by the forced connection to %2");
const QString kMissed = QStringLiteral("Scheduled connection to %1 missed: %2");
const QString kStaysPending = QStringLiteral("Scheduled connection to %1 stays pending: %2");
const QString kEnded = QStringLiteral("Scheduled connection to %1 ended: %2");

// A codec's peer name or address inside a reason: enough to tell peers apart, short enough for a
// log line and the window's status column.
constexpr int kMaxPeerTextInReason = 60;
// Occurrences that passed unseen (the program closed, the codec away) each get their line up to
// this many; the rest share one, so that a long absence does not push everything else out of the
// codec's log.
constexpr int kMaxPassedOccurrenceLines = 14;
// How far a series' wall-clock times can move an occurrence's start from one period after the one
// before: a daylight-saving change, or a chosen time moved out of a spring-forward gap, with room.
// Used only to skip working out starts that cannot have come.
constexpr qint64 kMaxClockShiftSecs = 3 * 3600;

}  // namespace

QString Scheduler::timeText(const QDateTime& when, const QDateTime& now) {
    return QLocale::c().toString(when, when.date() == now.date() ? QStringLiteral("hh:mm")
                                                                 : QStringLiteral("yyyy-MM-dd hh:mm"));
}

void Scheduler::settle(Job& job, const Plan& plan, const QDateTime& now) {
    if (job.state == Job::Done) return;
    const Job::JobState shown_state = job.state;
    const QString shown_warning = job.warning;
    if (!job.startReached(now)) {
        setState(job, Job::Waiting);
        settleWaiting(job);
    } else if (!job.endReached(now)) {
        settleOpen(job, now);
    } else {
        settleEnded(job, plan.find({job.uuid, job.peer}), now);
    }
    if (job.state != shown_state || job.warning != shown_warning) is_shown_changed_ = true;
}

void Scheduler::settleWaiting(Job& job) {
    // Only a ready codec's list tells who is under the id now.
    if (!sessions_->isReady(job.uuid)) return;
    const BookingReason changed = peerChangeReason(job);
    if (changed.isNone()) {
        clearWaitReason(job);
        return;
    }
    noteConnectWait(job, changed, kConnectWaits.arg(peerText(job), changed.words()));
}

void Scheduler::settleOpen(Job& job, const QDateTime& now) {
    const BookingReason unavailable = unavailableReason(job);
    if (!unavailable.isNone()) {
        if (job.connected_at.isValid()) {
            // Its call, noted before the codec or the program went away, is up as far as is known:
            // nothing waits to connect, and the state stays as it was last seen.
            if (job.state != Job::Running) setState(job, Job::Starting);
            job.showReason(unavailable);
        } else {
            setState(job, Job::Starting);
            noteWaiting(job, unavailable, kConnectWaits.arg(peerText(job), unavailable.words()));
        }
        return;
    }
    if (job.connected_at.isValid()) {
        // Its call came up: nothing dials again in this window, and the status says what became of it.
        setState(job, Job::Running);
        settleRunning(job, now);
        return;
    }
    setState(job, Job::Starting);
    const BookingReason changed = peerChangeReason(job);
    if (!changed.isNone()) {
        noteConnectWait(job, changed, kConnectWaits.arg(peerText(job), changed.words()));
    } else if (!job.connect_refusal.isEmpty()) {
        const QString& line = job.is_connect_refusal_sure ? kConnectRefusedLine : kConnectMaybeRefusedLine;
        noteConnectWait(job, connectRefusalReason(job), line.arg(peerText(job), job.connect_refusal));
    } else if (isForceRefused(job)) {
        noteWaiting(job, {BookingReason::Code::kForceRefused, QString(), job.force_refusal},
                    kForceRefusedLine.arg(peerText(job), job.force_refusal));
    } else {
        const HeldCall* held = heldCallOf(job);
        const bool is_resent = held && !held->is_seen_up && held->isResent();
        job.showStatus(is_resent
                           ? kConnectResent.arg(timeText(held->ringing_since, now), timeText(held->dialled_at, now))
                           : QString());
        clearWaitReason(job);
    }
}

void Scheduler::settleRunning(Job& job, const QDateTime& now) {
    const BookingReason changed = peerChangeReason(job);
    if (!changed.isNone()) {
        job.showReason(changed);
    } else if (isForceRefused(job)) {
        noteWaiting(job, {BookingReason::Code::kForceRefused, QString(), job.force_refusal},
                    kForceRefusedLine.arg(peerText(job), job.force_refusal));
    } else if (sessions_->isPeerActive(job.uuid, job.peer)) {
        job.showStatus(QString());
        noteCallEnded(job, QDateTime());
    } else if (job.ended_by_force.isEmpty()) {
        job.showStatus(kCallEnded);
        if (!job.call_ended_at.isValid()) noteCallEnded(job, now);
    } else {
        job.showStatus(kEndedByForce.arg(job.ended_by_force));
        if (!job.is_force_end_logged) logLine(job, kEndedByForceLine.arg(peerText(job), job.ended_by_force));
        job.is_force_end_logged = true;
    }
}

void Scheduler::noteCallEnded(Job& job, const QDateTime& when) {
    if (job.call_ended_at == when) return;
    job.call_ended_at = when;
    is_file_changed_ = true;
}

bool Scheduler::isForceRefused(const Job& job) const {
    if (job.force_refusal.isEmpty()) return false;
    // Refused, as far as it shows: a call it was to end is still up.
    return std::any_of(job.forced_others.cbegin(), job.forced_others.cend(),
                       [&](const QString& other) { return sessions_->isPeerActive(job.uuid, other); });
}

void Scheduler::noteConnectWait(Job& job, const BookingReason& reason, const QString& log_text) {
    noteWaiting(job, reason, log_text);
    if (job.wait_reason == reason) return;
    job.wait_reason = reason;
    is_file_changed_ = true;
}

void Scheduler::clearWaitReason(Job& job) {
    if (job.wait_reason.isNone()) return;
    job.wait_reason = BookingReason();
    is_file_changed_ = true;
}

void Scheduler::settleEnded(Job& job, const PeerCalls* calls, const QDateTime& now) {
    const bool is_wanted = calls && (calls->is_wanted || calls->is_maybe_wanted);
    const HeldCall* held = heldCallOf(job);
    if (job.hasHadCall() && held && !is_wanted) {
        // What it said while its window was open is no note of its disconnect.
        if (job.state != Job::Ending) job.showStatus(QString());
        setState(job, Job::Ending);
        if (!sessions_->isReady(job.uuid)) {
            const BookingReason not_ready{BookingReason::Code::kNotReady, QString(), QString()};
            noteWaiting(job, not_ready, kDisconnectWaits.arg(peerText(job), not_ready.words()));
        } else if (!held->refusal.isEmpty()) {
            job.end_refusal = held->refusal;
            noteWaiting(job, {BookingReason::Code::kDisconnectRefused, QString(), held->refusal},
                        kDisconnectRefused.arg(peerText(job), held->refusal));
        } else {
            job.showStatus(QString());  // what it waited for no longer holds
        }
        return;
    }
    finishOccurrence(job, is_wanted ? calls->wanted_until : QDateTime(), now);
}

bool Scheduler::finishOccurrence(Job& job, const QDateTime& wanted_until, const QDateTime& now) {
    // Missed before, or its call seen to, and kept pending because its next occurrence was refused:
    // logged once.
    if (job.is_next_refused) return finishJob(job, now);
    if (!job.hasHadCall()) return missJob(job, missedReason(job), now);
    const PeerKey key{job.uuid, job.peer};
    const HeldCall* held = heldCallOf(job);
    if (wanted_until.isValid() && held && held->disconnect == HeldCall::Disconnect::kNone && isCallKnownUp(key)) {
        const QString status = kLeftUp.arg(peerText(job), timeText(wanted_until, now));
        return finishNoted(job, kEnded.arg(peerText(job), status), status, now);
    }
    // Another peer's call under the id, or this one's at another address: not the job's to cut.
    const BookingReason changed = peerChangeReason(job);
    if (job.connected_at.isValid() && !changed.isNone() && isCallKnownUp(key)) {
        const QString status = kLeftUpSince.arg(changed.words());
        return finishNoted(job, kEnded.arg(peerText(job), status), status, now);
    }
    // Ended by a force in its window: its row keeps saying so; the line was said as it went.
    if (!job.ended_by_force.isEmpty() && !isCallKnownUp(key)) {
        job.showStatus(kEndedByForce.arg(job.ended_by_force));
        return finishJob(job, now);
    }
    // Ended in its window, by its far end or by hand, and not made again: said at its end.
    if (job.call_ended_at.isValid() && !isCallKnownUp(key)) {
        const QString status = kEndedEarly.arg(timeText(job.call_ended_at, now));
        return finishNoted(job, kEnded.arg(peerText(job), status), status, now);
    }
    // The codec refused its disconnect, and the call has gone since, by a retry or its far end.
    if (!job.end_refusal.isEmpty() && !isCallKnownUp(key)) {
        const QString status = kEndedAfterRefusal.arg(timeText(now, now));
        return finishNoted(job, kEnded.arg(peerText(job), status), status, now);
    }
    return finishQuietly(job, now);
}

bool Scheduler::finishQuietly(Job& job, const QDateTime& now) {
    job.showStatus(QString());
    return finishJob(job, now);
}

bool Scheduler::finishJob(Job& job, const QDateTime& now) {
    const Job::JobState finished_state = job.state;
    setState(job, Job::Done);
    job.finished_at = now;
    is_file_changed_ = true;
    if (!isRecurring(job)) return true;
    QList<QDateTime> passed_starts;
    Job next = nextOccurrence(job, now, &passed_starts);
    // A finish refused for want of room comes back every pass: the passed ones are said once.
    if (!job.is_next_refused) notePassedOccurrences(job, passed_starts, now);
    if (!hasNextOccurrence(job, next)) {
        job.frequency = Job::Once;
        return true;
    }
    // An occurrence that opened inside this one's window had its call from its own start where a
    // pass saw the call up since.
    if (job.later_call_seen_at.isValid() && job.later_call_seen_at >= next.start) {
        next.connected_at = job.later_call_seen_at;
        next.later_call_seen_at = job.later_call_seen_at;
    }
    next.id = nextJobId();
    if (addJob(next)) {
        job.next_occurrence_id = next.id;
        return true;
    }
    // Every pass comes back here until there is room: the refusal is logged once, as noteWaiting does.
    if (!job.is_next_refused) qWarning() << "schedule: the next occurrence was refused:" << next;
    setState(job, finished_state);
    const BookingReason next_refused{BookingReason::Code::kNextRefused, QString(), QString()};
    noteWaiting(job, next_refused, kStaysPending.arg(peerText(job), next_refused.words()));
    job.is_next_refused = true;
    return false;
}

bool Scheduler::finishEndedWhileClosed(Job& job, const QDateTime& now) {
    // Its connect was ringing as the program closed: a dial, not a call; the file kept it, and
    // the peer's name with it.
    const PeerKey key{job.uuid, job.peer};
    const auto held = held_calls_.constFind(key);
    if (held != held_calls_.constEnd() && !held->is_seen_up && held->dialled_at.isValid() &&
        held->dialled_at >= job.start && held->dialled_at < job.end) {
        const QString peer = peerText(key, job.peer_name.isEmpty() ? held->dialled_name : job.peer_name);
        return finishNoted(job, kMissed.arg(peer, kDialOpenAtClose), kMissedStatus.arg(kDialOpenAtClose), now);
    }
    // Only a job that knows its peer was written by a version that notes its calls: of an older
    // one, all that is known is when its end passed.
    return job.hasPeerIdentity()
               ? missJob(job, job.wait_reason.isNone() ? kNeverRan : job.wait_reason.words(), now)
               : finishNoted(job, kEnded.arg(peerText(job), kEndedWhileClosed), kEndedWhileClosed, now);
}

bool Scheduler::noteLaterOccurrenceCall(Job& booking, const QDateTime& now) {
    // Most occurrences are far from their series' next start: told without working it out, from
    // the wall clocks alone, since each pass asks this of every recurring booking whose call is up.
    if (!isRecurring(booking)) return false;
    const qint64 next_start_earliest_ms =
        wallClockMs(booking.start) + stepDays(booking) * kDayMs - kMaxClockShiftSecs * 1000;
    if (wallClockMs(now) < next_start_earliest_ms) return false;
    // The latest start of a later occurrence that has come: seen up since, that one has its call.
    QDateTime opened;
    for (qint64 days = stepDays(booking);; days += stepDays(booking)) {
        const Job later = occurrenceAfter(booking, days);
        if (!later.start.isValid() || later.start > now || !hasNextOccurrence(booking, later)) break;
        opened = later.start;
    }
    if (!opened.isValid() || (booking.later_call_seen_at.isValid() && booking.later_call_seen_at >= opened))
        return false;
    booking.later_call_seen_at = now;
    is_file_changed_ = true;
    return true;
}

void Scheduler::notePassedOccurrences(const Job& job, const QList<QDateTime>& starts, const QDateTime& now) {
    const int listed = starts.size() <= kMaxPassedOccurrenceLines ? starts.size() : kMaxPassedOccurrenceLines - 1;
    for (int i = 0; i < listed; ++i) {
        logLine(job, kMissed.arg(peerText(job), kOccurrencePassed.arg(timeText(starts[i], now))));
    }
    if (listed == starts.size()) return;
    logLine(job, kMissed.arg(peerText(job),
                             kMoreOccurrencesPassed.arg(starts.size() - listed).arg(timeText(starts.last(), now))));
}

bool Scheduler::missJob(Job& job, const QString& reason, const QDateTime& now) {
    return finishNoted(job, kMissed.arg(peerText(job), reason), kMissedStatus.arg(reason), now);
}

bool Scheduler::finishNoted(Job& job, const QString& log_text, const QString& status, const QDateTime& now) {
    logLine(job, log_text);
    job.showStatus(status);
    return finishJob(job, now);
}

void Scheduler::logLine(const QUuid& codec, const QString& text) {
    qWarning().noquote() << text;
    sessions_->addLogLine(codec, text);
}

void Scheduler::noteWaiting(Job& job, const BookingReason& reason, const QString& log_text) {
    if (job.shown_reason == reason && !job.is_wait_reason_unsaid) return;
    job.is_wait_reason_unsaid = false;
    job.showReason(reason);
    job.is_next_refused = false;
    logLine(job, log_text);
}

QString Scheduler::peerText(const PeerKey& key, const QString& name) const {
    // The job's own peer: the codec's name for the id may be another peer's by now.
    const QString shown = name.isEmpty() ? sessions_->peerName(key.codec, key.peer) : name;
    return shown.isEmpty() ? QStringLiteral("peer ") + key.peer : shownCodecText(shown, kMaxPeerTextInReason);
}

BookingReason Scheduler::unavailableReason(const Job& job) const {
    if (!sessions_->isRegistered(job.uuid)) return {BookingReason::Code::kNotInFleet, QString(), QString()};
    if (!sessions_->isReady(job.uuid)) return {BookingReason::Code::kNotReady, QString(), QString()};
    return {};
}

BookingReason Scheduler::peerChangeReason(const Job& job) const {
    if (!job.hasPeerIdentity()) return {};
    QString name, address;
    if (!sessions_->findPeer(job.uuid, job.peer, name, address)) {
        return {BookingReason::Code::kPeerGone, job.peer, QString()};
    }
    if (name == job.peer_name && address == job.peer_address) return {};
    QString other = QLatin1Char('\'') + shownCodecText(name, kMaxPeerTextInReason) + QLatin1Char('\'');
    if (address != job.peer_address && !address.isEmpty()) {
        other += QStringLiteral(" at ") + shownCodecText(address, kMaxPeerTextInReason);
    }
    return {BookingReason::Code::kPeerNowOther, job.peer, other};
}

BookingReason Scheduler::connectRefusalReason(const Job& job) {
    using Code = BookingReason::Code;
    return {job.is_connect_refusal_sure ? Code::kConnectRefused : Code::kConnectMaybeRefused, QString(),
            job.connect_refusal};
}

QString Scheduler::missedReason(const Job& job) const {
    if (!job.connect_refusal.isEmpty()) return connectRefusalReason(job).words();
    const QString blocked = connectBlockedReason(job);
    if (!blocked.isEmpty()) return blocked;
    if (!job.wait_reason.isNone()) return job.wait_reason.words();
    if (job.has_operator_connect) {
        const HeldCall* held = heldCallOf(job);
        const bool is_stopped = held && !held->is_seen_up && held->is_dial_stopped;
        return is_stopped ? kNeverUpWithOperator + QStringLiteral("; ") + kOperatorsDialStopped : kNeverUpWithOperator;
    }
    return job.has_sent_connect ? kNeverUp : kTooLate;
}

QString Scheduler::connectBlockedReason(const Job& job) const {
    const BookingReason unavailable = unavailableReason(job);
    return unavailable.isNone() ? peerChangeReason(job).words() : unavailable.words();
}
