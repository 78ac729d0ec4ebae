#include "scheduler/scheduler.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <utility>

#include "dialogs/codec_text.h"
#include "dialogs/error_reason.h"
#include "dialogs/message_box.h"
#include "ipc/exception.h"
#include "scheduler/session_adaptor.h"

// A missing schedule on a first start is routine: off unless the category is switched on.
Q_LOGGING_CATEGORY(lcScheduleFile, "kestrane.schedule.file", QtInfoMsg)

namespace {

const QString kNotReady = QStringLiteral("codec not ready");
const QString kNotInFleet = QStringLiteral("codec not in the fleet");
const QString kTooLate = QStringLiteral("its end had passed");
const QString kConnectWaits = QStringLiteral("Scheduled connection to %1 waits: %2");
const QString kDisconnectWaits = QStringLiteral("Scheduled disconnection from %1 waits: %2");
const QString kMissed = QStringLiteral("Scheduled connection to %1 missed: %2");
const QString kStaysPending = QStringLiteral("Scheduled connection to %1 stays pending: %2");
const QString kNextRefused = QStringLiteral("its next occurrence was refused");
const QString kNeverRan = QStringLiteral("its end passed before it could run");
// A file written before jobs noted their calls cannot tell whether this one ran.
const QString kEndedWhileClosed = QStringLiteral("its end passed while the program was closed");
const QString kEnded = QStringLiteral("Scheduled connection to %1 ended: %2");
const QString kLeftUp = QStringLiteral("call to %1 left up for the scheduled connection until %2");
const QString kCallEnded = QStringLiteral("its call has ended");
const QString kLeftUpSince = QStringLiteral("call left up, since %1");
const QString kOccurrencePassed = QStringLiteral("its occurrence at %1 passed before it could run");
const QString kMoreOccurrencesPassed = QStringLiteral("%1 more occurrences, the last at %2, passed before they could run");
const QString kHolderRemoved = QStringLiteral("the scheduled connection it left its call up for was removed");
const QString kEndsItsCall = QStringLiteral("Scheduled connection to %1 ends its call: %2");
const QString kPeerGone = QStringLiteral("peer %1 is no longer in the codec's list");
const QString kPeerNowOther = QStringLiteral("peer %1 is now %2");
// A codec's peer name or address inside a reason: enough to tell peers apart, short enough for a
// log line and the window's status column.
constexpr int kMaxPeerTextInReason = 60;
// Occurrences that passed unseen (the program closed, the codec away) each get their line up to
// this many; the rest share one, so that a long absence does not push everything else out of the
// codec's log.
constexpr int kMaxPassedOccurrenceLines = 14;

int job_id_counter = 0;  // process-wide; GUI thread

// A time in a line: the clock alone on `now`'s day, else the date too.
QString timeText(const QDateTime& when, const QDateTime& now) {
    return QLocale::c().toString(
        when, when.date() == now.date() ? QStringLiteral("hh:mm") : QStringLiteral("yyyy-MM-dd hh:mm"));
}

}  // namespace

Scheduler::Scheduler(QObject* parent) : QObject(parent) {
    setSessions(nullptr);
    setClock(nullptr);
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &Scheduler::tick);
    timer_.start();
}

Scheduler::~Scheduler() = default;

void Scheduler::setSessions(std::shared_ptr<CodecSessions> sessions) {
    sessions_ = sessions ? std::move(sessions) : std::make_shared<SessionAdaptor>(nullptr, nullptr);
}

void Scheduler::setClock(Clock clock) {
    clock_ = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}

int Scheduler::nextJobId() {
    return job_id_counter++;
}

// ------------------------------------------------------------------------------------------------
// The job list

bool Scheduler::addJob(const Job& job) {
    if (!insertJob(job)) return false;
    emit scheduleUpdated();
    return true;
}

Scheduler::JobPtr Scheduler::insertJob(const Job& job) {
    if (!job.start.isValid() || !job.end.isValid() || !job.recurrence_end.isValid()) return nullptr;
    if (job.end <= job.start || !Job::isPeerId(job.peer)) return nullptr;
    if (pending_count_ >= kMaxJobs) {
        qWarning() << "schedule: already" << kMaxJobs << "pending jobs; refusing another";
        return nullptr;
    }
    const JobPtr record = std::make_shared<Job>(job);
    record->peer = Job::normalPeerId(record->peer);
    if (record->host.isEmpty()) sessions_->address(record->uuid, record->host, record->port);
    record->is_peer_followed = isPeerListedAsMade(*record);
    const auto at = std::lower_bound(jobs_.begin(), jobs_.end(), record->start,
                                     [](const JobPtr& held, const QDateTime& start) { return held->start < start; });
    jobs_.insert(at, record);
    countJob(*record, +1);
    emit jobAdded(*record);
    return record;
}

void Scheduler::countJob(const Job& job, int delta) {
    if (job.state != Job::Done) pending_count_ += delta;
    int& count = job_counts_[job.uuid];
    count += delta;
    if (count == 0) job_counts_.remove(job.uuid);
}

int Scheduler::indexOf(int id) const {
    for (size_t i = 0; i < jobs_.size(); ++i) {
        if (jobs_[i]->id == id) return static_cast<int>(i);
    }
    return -1;
}

bool Scheduler::removeJob(int id) {
    return removeJobAt(indexOf(id));
}

bool Scheduler::removeJobAt(int index) {
    if (index < 0 || index >= jobCount()) return false;
    const JobPtr removed = jobs_[static_cast<size_t>(index)];
    countJob(*removed, -1);
    jobs_.erase(jobs_.begin() + index);
    if (removed->state != Job::Done) giveCallBack(*removed);
    emit scheduleUpdated();
    return true;
}

void Scheduler::giveCallBack(const Job& holder) {
    const auto left_by = std::find_if(jobs_.begin(), jobs_.end(), [&](const JobPtr& job) {
        return job->state == Job::Done && job->call_holder_id == holder.id;
    });
    if (left_by == jobs_.end()) return;
    Job& job = **left_by;
    job.call_holder_id = -1;
    // Its series goes on in the occurrence its finish added already: this end adds none again.
    job.frequency = Job::Once;
    setState(job, Job::Ending);
    job.warning = kHolderRemoved;
    logLine(job, kEndsItsCall.arg(peerText(job), kHolderRemoved));
    // Its end has passed: the call goes now, or as soon as the codec can take the disconnect.
    endCall(job, clock_());
}

bool Scheduler::getJob(int id, Job& out) const {
    const int index = indexOf(id);
    if (index < 0) return false;
    out = *jobs_[static_cast<size_t>(index)];
    return true;
}

bool Scheduler::setJobAt(int index, const Job& job) {
    if (index < 0 || index >= jobCount()) return false;
    Job& held = *jobs_[static_cast<size_t>(index)];
    countJob(held, -1);
    held = job;
    countJob(held, +1);
    emit scheduleUpdated();
    return true;
}

QString Scheduler::editRefusal(int index, const Job& edited, bool was_done) const {
    if (index < 0) return tr("It is no longer in the schedule.");
    const Job& current = *jobs_[static_cast<size_t>(index)];
    // The edit would land on a record that is never saved, and a next occurrence has times of its own.
    if (current.state == Job::Done && !was_done) {
        return tr("Its connection ended while it was being edited. Edit its next occurrence, if it has one, "
                  "or this one again.");
    }
    if (!Job::isPeerId(edited.peer)) return tr("The peer's id is not a number.");
    // Started again, the record would run beside its own series.
    if (const Job* next = pendingOccurrenceAfter(current)) {
        return tr("Its series goes on in the occurrence of %1. Edit that one instead.")
            .arg(QLocale::system().toString(next->start, QLocale::ShortFormat));
    }
    if (!Job::isUnderWay(current.state)) return {};
    if (Job::normalPeerId(edited.peer) != current.peer) {
        return tr("Its connection started while it was being edited, so its peer can no longer change.");
    }
    if (edited.start != current.start && edited.start > now()) {
        return tr("Its connection is under way: a later start would keep its call up outside every booking "
                  "until then. Schedule the later time as a new connection.");
    }
    return {};
}

const Job* Scheduler::pendingOccurrenceAfter(const Job& job) const {
    for (int id = job.next_occurrence_id; id >= 0;) {
        const int index = indexOf(id);
        if (index < 0) return nullptr;
        const Job& next = *jobs_[static_cast<size_t>(index)];
        if (next.state != Job::Done) return &next;
        id = next.next_occurrence_id;
    }
    return nullptr;
}

bool Scheduler::applyEdit(const Job& edited, bool was_done, QString* refusal) {
    const int index = indexOf(edited.id);
    const QString reason = editRefusal(index, edited, was_done);
    if (!reason.isEmpty()) {
        if (refusal) *refusal = reason;
        return false;
    }
    const Job& current = *jobs_[static_cast<size_t>(index)];
    // What the dialog edits is taken; the rest stays as the scheduler has it now.
    Job result = current;
    result.start = edited.start;
    result.end = edited.end;
    result.priority = edited.priority;
    result.frequency = edited.frequency;
    result.recurrence_end = edited.recurrence_end;
    result.repeat_forever = edited.repeat_forever;
    if (was_done && current.state == Job::Done) result.restartOccurrence();
    // A job under way keeps its peer, renamed or not (another one is refused); so does an edit that
    // names it by its id alone.
    const QString peer = Job::normalPeerId(edited.peer);
    if (!Job::isUnderWay(current.state) && (peer != current.peer || edited.hasPeerIdentity())) {
        result.peer = peer;
        result.peer_name = edited.peer_name;
        result.peer_address = edited.peer_address;
    }
    const bool is_same_peer = result.peer == current.peer && result.peer_name == current.peer_name &&
                              result.peer_address == current.peer_address;
    // A Done record's mark went stale while the peer lists passed it by: started again, it decides
    // afresh from the list as it is, as a new job does.
    result.is_peer_followed =
        is_same_peer && current.state != Job::Done ? current.is_peer_followed : isPeerListedAsMade(result);
    // New times are the operator's chosen times from now on.
    if (result.start != current.start) result.start_clock = QTime();
    if (result.end != current.end) result.end_clock = QTime();
    return setJobAt(index, result);
}

QList<Job> Scheduler::jobList() const {
    QList<Job> copies;
    copies.reserve(jobCount());
    for (const JobPtr& job : jobs_) copies.append(*job);
    return copies;
}

// ------------------------------------------------------------------------------------------------
// The tick

void Scheduler::tick() {
    const QDateTime now = clock_();
    // A receiver of our signals that runs a nested event loop could bring the timer back here.
    if (!mutex_.tryLock()) {
        qWarning("Scheduler::tick: the previous pass is still running; skipping this one");
        return;
    }
    bool is_file_changed = false;
    // By index, reading the length each time: an occurrence added behind this one is visited too.
    for (size_t i = 0; i < jobs_.size(); ++i) {
        const JobPtr job = jobs_[i];
        is_file_changed = step(*job, now) || is_file_changed;
    }
    if (dropAgedDoneJobs(now)) emit scheduleUpdated();
    mutex_.unlock();
    if (is_file_changed) save();
}

void Scheduler::setState(Job& job, Job::JobState state) {
    countJob(job, -1);
    job.state = state;
    countJob(job, +1);
}

void Scheduler::advance(Job& job, Job::JobState state) {
    setState(job, state);
    job.warning.clear();
    job.is_next_refused = false;
}

bool Scheduler::dropAgedDoneJobs(const QDateTime& now) {
    const QDateTime oldest_finish = now.addSecs(-kDoneKeptSecs);
    // A record whose call another booking holds takes it back if that booking is removed.
    QSet<int> pending_ids;
    for (const JobPtr& job : jobs_) {
        if (job->state != Job::Done) pending_ids.insert(job->id);
    }
    // remove_if asks once per job, so each dropped one is uncounted once.
    const auto kept_end = std::remove_if(jobs_.begin(), jobs_.end(), [&](const JobPtr& job) {
        const bool is_aged = job->state == Job::Done && job->finished_at.isValid() &&
                             job->finished_at < oldest_finish && !pending_ids.contains(job->call_holder_id);
        if (!is_aged) return false;
        countJob(*job, -1);
        return true;
    });
    if (kept_end == jobs_.end()) return false;
    jobs_.erase(kept_end, jobs_.end());
    return true;
}

bool Scheduler::step(Job& job, const QDateTime& now) {
    switch (job.state) {
    case Job::Waiting: return stepWaiting(job, now);
    case Job::Starting: return stepStarting(job, now);
    case Job::Running: return stepRunning(job, now);
    case Job::Ending: return stepEnding(job, now);
    case Job::Done: return false;
    }
    return false;
}

bool Scheduler::stepWaiting(Job& job, const QDateTime& now) {
    if (!job.startReached(now)) return false;
    const QString reason = connectBlockedReason(job);
    if (job.endReached(now)) {
        // Missed before, and kept pending because its next occurrence was refused: logged once.
        if (job.is_next_refused) return finishJob(job, now);
        return missJob(job, reason.isEmpty() ? kTooLate : reason, now);
    }
    if (!reason.isEmpty()) {
        noteWaiting(job, reason, kConnectWaits);
        return false;
    }
    connectJob(job);
    return false;
}

bool Scheduler::stepStarting(Job& job, const QDateTime& now) {
    if (job.endReached(now)) return endJob(job, now);
    const QString unavailable = unavailableReason(job);
    const QString reason = unavailable.isEmpty() ? peerChangeReason(job) : unavailable;
    if (!unavailable.isEmpty() && job.connected_at.isValid()) {
        // Its call, noted before the program or the codec went away, is up as far as is known:
        // nothing waits to connect. The status says why it is not confirmed.
        job.warning = unavailable;
    } else if (!reason.isEmpty()) {
        noteWaiting(job, reason, kConnectWaits);
    } else if (sessions_->isPeerActive(job.uuid, job.peer)) {
        advance(job, Job::Running);
        if (job.connected_at.isValid()) return false;
        job.connected_at = now;
        return true;  // the file notes it: after a restart, only this call is ended
    } else {
        connectJob(job);
    }
    return false;
}

bool Scheduler::stepRunning(Job& job, const QDateTime& now) {
    if (job.endReached(now)) return endJob(job, now);
    noteCallState(job);
    return false;
}

bool Scheduler::stepEnding(Job& job, const QDateTime& now) {
    if (sessions_->isReady(job.uuid) && !sessions_->isPeerActive(job.uuid, job.peer)) return finishQuietly(job, now);
    return endCall(job, now);
}

bool Scheduler::endCall(Job& job, const QDateTime& now) {
    if (!sessions_->isRegistered(job.uuid)) return finishJob(job, now);
    // Kept for the booking that holds it, also while the codec is away: nothing is sent.
    const CallHolder holder = callHolder(job, now);
    if (holder.until.isValid() && !job.has_sent_disconnect) return leaveCallUp(job, holder, now);
    const QString reason = unavailableReason(job);
    if (!reason.isEmpty()) {
        noteWaiting(job, reason, kDisconnectWaits);
        return false;
    }
    // Its disconnect went out: the call up now is that of a booking that started since.
    if (holder.until.isValid()) return finishQuietly(job, now);
    // Another peer's call under the id, or this one's at another address: not the job's to cut,
    // and nothing it could wait for.
    const QString changed = peerChangeReason(job);
    if (!changed.isEmpty() && job.connected_at.isValid() && sessions_->isPeerActive(job.uuid, job.peer)) {
        const QString status = kLeftUpSince.arg(changed);
        return finishNoted(job, kEnded.arg(peerText(job), status), status, now);
    }
    disconnectJob(job);
    return false;
}

bool Scheduler::finishQuietly(Job& job, const QDateTime& now) {
    if (!finishJob(job, now)) return false;
    job.warning.clear();
    return true;
}

void Scheduler::connectJob(Job& job) {
    // Once per occurrence, before its first connect: later it would cut the call still coming up,
    // and a call noted before a restart shows that it was done then.
    const bool is_cleared = !job.priority || job.has_sent_connect || job.connected_at.isValid() ||
                            sessions_->sendDisconnectAll(job.uuid);
    if (!is_cleared || !sessions_->sendConnect(job.uuid, job.peer)) {
        noteWaiting(job, kNotReady, kConnectWaits);
        return;
    }
    job.has_sent_connect = true;
    advance(job, Job::Starting);
}

bool Scheduler::endJob(Job& job, const QDateTime& now) {
    advance(job, Job::Ending);
    // Sent even when the call is not up: a connect still under way would bring it up after the end.
    return endCall(job, now);
}

void Scheduler::disconnectJob(Job& job) {
    // Another peer's call under the id is not the job's to cut.
    const QString changed = peerChangeReason(job);
    if (!changed.isEmpty()) {
        noteWaiting(job, changed, kDisconnectWaits);
    } else if (!sessions_->sendDisconnect(job.uuid, job.peer.toInt())) {
        noteWaiting(job, kNotReady, kDisconnectWaits);
    } else {
        job.has_sent_disconnect = true;
        job.warning.clear();  // what it waited for no longer holds
    }
}

bool Scheduler::finishJob(Job& job, const QDateTime& now, bool is_call_handed_on) {
    const Job::JobState finished_state = job.state;
    setState(job, Job::Done);
    job.finished_at = now;
    if (job.frequency != Job::Daily && job.frequency != Job::Weekly) return true;
    QList<QDateTime> passed_starts;
    Job next = nextOccurrence(job, now, &passed_starts);
    // A finish refused for want of room comes back every pass: the passed ones are said once.
    if (!job.is_next_refused) notePassedOccurrences(job, passed_starts, now);
    if (!hasNextOccurrence(job, next, now)) {
        job.frequency = Job::Once;
        return true;
    }
    next.id = nextJobId();
    if (is_call_handed_on) {
        next.state = Job::Running;
        next.connected_at = now;
    }
    if (addJob(next)) {
        job.next_occurrence_id = next.id;
        return true;
    }
    // Every pass comes back here until there is room: the refusal is logged once, as noteWaiting does.
    if (!job.is_next_refused) qWarning() << "schedule: the next occurrence was refused:" << next;
    setState(job, finished_state);
    noteWaiting(job, kNextRefused, kStaysPending);
    job.is_next_refused = true;
    return false;
}

Job Scheduler::nextOccurrence(const Job& job, const QDateTime& now, QList<QDateTime>* passed_starts) const {
    const int step_days = job.frequency == Job::Weekly ? 7 : 1;
    const qint64 span_days = job.start.date().daysTo(job.end.date());
    Job next = job;
    next.restartOccurrence();
    QDate date = job.start.date();
    // An occurrence whose window is still open is kept: the call belongs in it until its end.
    for (;;) {
        date = date.addDays(step_days);
        next.setWindow(date, job.startClock(), date.addDays(span_days), job.endClock());
        if (!next.start.isValid() || next.end > now) return next;
        if (passed_starts && (job.repeat_forever || next.start <= job.recurrence_end)) passed_starts->append(next.start);
    }
}

bool Scheduler::hasNextOccurrence(const Job& job, const Job& next, const QDateTime& now) const {
    return !job.recurrenceOver(now) && (job.repeat_forever || next.start <= job.recurrence_end);
}

void Scheduler::notePassedOccurrences(const Job& job, const QList<QDateTime>& starts, const QDateTime& now) {
    const int listed = starts.size() <= kMaxPassedOccurrenceLines ? starts.size() : kMaxPassedOccurrenceLines - 1;
    for (int i = 0; i < listed; ++i) {
        logLine(job, kMissed.arg(peerText(job), kOccurrencePassed.arg(timeText(starts[i], now))));
    }
    if (listed == starts.size()) return;
    logLine(job, kMissed.arg(peerText(job), kMoreOccurrencesPassed.arg(starts.size() - listed)
                                                .arg(timeText(starts.last(), now))));
}

bool Scheduler::missJob(Job& job, const QString& reason, const QDateTime& now) {
    return finishNoted(job, kMissed.arg(peerText(job), reason), QStringLiteral("missed: ") + reason, now);
}

bool Scheduler::finishNoted(Job& job, const QString& log_text, const QString& status, const QDateTime& now,
                            bool is_call_handed_on) {
    logLine(job, log_text);
    job.warning = status;
    return finishJob(job, now, is_call_handed_on);
}

void Scheduler::logLine(const Job& job, const QString& text) {
    qWarning().noquote() << text;
    sessions_->addLogLine(job.uuid, text);
}

Job* Scheduler::laterBooking(const Job& job, const QDateTime& now) const {
    Job* latest = nullptr;
    for (const JobPtr& other : jobs_) {
        if (other.get() == &job || other->end <= job.end) continue;
        if (other->uuid != job.uuid || other->peer != job.peer) continue;
        // Two bookings that each know their peer are for one peer only by the same name and address.
        const bool is_other_peer = job.hasPeerIdentity() && other->hasPeerIdentity() &&
                                   (other->peer_name != job.peer_name || other->peer_address != job.peer_address);
        if (is_other_peer || !canTakeCall(*other, now)) continue;
        if (!latest || other->end > latest->end) latest = other.get();
    }
    return latest;
}

bool Scheduler::canTakeCall(const Job& booking, const QDateTime& now) const {
    if (booking.state == Job::Starting || booking.state == Job::Running) return true;
    // Due in this pass: it would only connect again what is up.
    return booking.state == Job::Waiting && booking.startReached(now) && !booking.endReached(now) &&
           connectBlockedReason(booking).isEmpty() && sessions_->isPeerActive(booking.uuid, booking.peer);
}

Scheduler::CallHolder Scheduler::callHolder(const Job& job, const QDateTime& now) const {
    if (Job* later = laterBooking(job, now)) return {later, later->end};
    if (job.frequency != Job::Daily && job.frequency != Job::Weekly) return {};
    const Job next = nextOccurrence(job, now);
    if (!hasNextOccurrence(job, next, now) || !canTakeCall(next, now)) return {};
    return {nullptr, next.end};
}

bool Scheduler::leaveCallUp(Job& job, const CallHolder& holder, const QDateTime& now) {
    const bool is_next_occurrence = holder.booking == nullptr;
    // A finish refused for want of room comes back every pass: said once, as noteWaiting does.
    const QString reason = kLeftUp.arg(peerText(job), timeText(holder.until, now));
    const bool is_finished = job.is_next_refused
                                 ? finishJob(job, now, is_next_occurrence)
                                 : finishNoted(job, kEnded.arg(peerText(job), reason), reason, now, is_next_occurrence);
    if (!is_finished) return false;
    job.call_holder_id = is_next_occurrence ? job.next_occurrence_id : holder.booking->id;
    // Its start has come with the call up: the call is its own from now on, ended at its own end.
    // A forced one skips its disconnect-all, which is there to make room for a call already made.
    if (!is_next_occurrence && holder.booking->state == Job::Waiting) {
        advance(*holder.booking, Job::Running);
        holder.booking->connected_at = now;
    }
    return true;
}

void Scheduler::noteCallState(Job& job) {
    // A codec that is away tells nothing about the call: the status stays as it was.
    if (!unavailableReason(job).isEmpty()) return;
    QString reason = peerChangeReason(job);
    if (reason.isEmpty() && !sessions_->isPeerActive(job.uuid, job.peer)) reason = kCallEnded;
    job.warning = reason;
}

void Scheduler::noteWaiting(Job& job, const QString& reason, const QString& log_pattern) {
    if (job.warning == reason) return;
    job.warning = reason;
    job.is_next_refused = false;
    logLine(job, log_pattern.arg(peerText(job), reason));
}

QString Scheduler::peerText(const Job& job) const {
    // The job's own peer: the codec's name for the id may be another peer's by now.
    const QString name = job.peer_name.isEmpty() ? sessions_->peerName(job.uuid, job.peer) : job.peer_name;
    return name.isEmpty() ? QStringLiteral("peer ") + job.peer : shownCodecText(name, kMaxPeerTextInReason);
}

QString Scheduler::unavailableReason(const Job& job) const {
    if (!sessions_->isRegistered(job.uuid)) return kNotInFleet;
    if (!sessions_->isReady(job.uuid)) return kNotReady;
    return {};
}

bool Scheduler::isPeerListedAsMade(const Job& job) const {
    QString name, address;
    return job.hasPeerIdentity() && sessions_->isReady(job.uuid) &&
           sessions_->findPeer(job.uuid, job.peer, name, address) && name == job.peer_name &&
           address == job.peer_address;
}

void Scheduler::peerListReceived(const QUuid& uuid) {
    bool is_any_renamed = false;
    for (const JobPtr& job : jobs_) {
        if (job->uuid != uuid || job->state == Job::Done || !job->hasPeerIdentity()) continue;
        is_any_renamed = followPeer(*job) || is_any_renamed;
    }
    if (!is_any_renamed) return;
    emit scheduleUpdated();
    save();
}

bool Scheduler::followPeer(Job& job) {
    QString name, address;
    if (!sessions_->findPeer(job.uuid, job.peer, name, address)) {
        job.is_peer_followed = false;
        return false;
    }
    const bool is_as_made = name == job.peer_name && address == job.peer_address;
    // Unfollowed, another name under the id may be another peer's: the steps wait with the reason.
    if (!is_as_made && !job.is_peer_followed && !isOwnCallRenamed(job, address)) return false;
    job.is_peer_followed = true;
    if (is_as_made) return false;
    job.peer_name = name;
    job.peer_address = address;
    return true;
}

bool Scheduler::isOwnCallRenamed(const Job& job, const QString& address) const {
    // A rename it could not see (the program closed, the codec away) shows only in its call: still up
    // under the id, to the same host.
    return job.connected_at.isValid() && !address.isEmpty() && address == job.peer_address &&
           sessions_->isPeerActive(job.uuid, job.peer);
}

void Scheduler::codecLeftReady(const QUuid& uuid) {
    for (const JobPtr& job : jobs_) {
        if (job->uuid == uuid) job->is_peer_followed = false;
    }
}

QString Scheduler::peerChangeReason(const Job& job) const {
    if (!job.hasPeerIdentity()) return {};
    QString name, address;
    if (!sessions_->findPeer(job.uuid, job.peer, name, address)) return kPeerGone.arg(job.peer);
    if (name == job.peer_name && address == job.peer_address) return {};
    QString other = QLatin1Char('\'') + shownCodecText(name, kMaxPeerTextInReason) + QLatin1Char('\'');
    if (address != job.peer_address && !address.isEmpty()) {
        other += QStringLiteral(" at ") + shownCodecText(address, kMaxPeerTextInReason);
    }
    return kPeerNowOther.arg(job.peer, other);
}

QString Scheduler::connectBlockedReason(const Job& job) const {
    const QString unavailable = unavailableReason(job);
    return unavailable.isEmpty() ? peerChangeReason(job) : unavailable;
}

// ------------------------------------------------------------------------------------------------
// The schedule file

void Scheduler::toMessage(Message& root) const {
    for (const JobPtr& job : jobs_) {
        if (job->state == Job::Done) continue;
        if (job->host.isEmpty()) {
            qWarning() << "schedule: not saving a job whose codec has no address:" << *job;
            continue;
        }
        job->toMessage(root.add_child("job"));
    }
    for (const Message& element : kept_elements_) root.add_child_copy(element);
    root.set_name("jobs");
}

bool Scheduler::save() {
    last_save_error_.clear();
    if (file_path_.isEmpty()) {
        last_save_error_ = QStringLiteral("no schedule file is set");
    } else if (is_damaged_file_in_place_ && QFileInfo::exists(file_path_)) {
        last_save_error_ = QStringLiteral("the unreadable schedule file could not be moved aside and is kept");
    } else {
        is_damaged_file_in_place_ = false;
        try {
            Message root;
            toMessage(root);
            root.write_to_file(Message::XML, QFile::encodeName(file_path_).toStdString());
            return true;
        } catch (const Exception& error) {
            last_save_error_ = errorReason(error.what());
        }
    }
    qWarning().noquote() << "saving schedule message failed: " + last_save_error_;
    return false;
}

bool Scheduler::saveOrWarn(QWidget* parent) {
    if (save()) return true;
    MessageBox::warning(parent, tr("Save Schedule"),
                        tr("The scheduled connections could not be saved to %1:\n%2\n\n"
                           "They stay scheduled while Kestrane runs.")
                            .arg(QDir::toNativeSeparators(file_path_), last_save_error_));
    return false;
}

bool Scheduler::fromMessage(const Message& root) {
    const unsigned count = root.child_count("job");
    // Every receiver asks about the whole schedule: once for the file, not once per job.
    bool is_any_added = false;
    bool is_any_finished = false;
    for (unsigned i = 0; i < count; ++i) {
        const Message& element = root.get_child("job", i);
        const Message::Attributes& a = element.attributes();
        const QString host = a.get_qstring("ip", QString());
        const int port = a.get_int("port", 0);
        // Past the limit, elements are only kept: no codec is looked up for them.
        const bool is_full = pending_count_ + static_cast<int>(kept_elements_.size()) >= kMaxJobs;
        const QUuid uuid = is_full ? QUuid() : sessions_->findByAddress(host, port);
        bool is_added = false;
        if (!uuid.isNull()) {
            const QDateTime now = clock_();
            Job job;
            job.fromMessage(element);
            job.uuid = uuid;
            job.id = nextJobId();
            job.host = host;
            job.port = port;
            // A call up after a window that passed unnoted was made by hand, not by this job.
            const bool is_missed = job.end <= now && !job.connected_at.isValid();
            job.state = job.start > now || is_missed ? Job::Waiting : job.end > now ? Job::Starting : Job::Ending;
            const JobPtr added = insertJob(job);
            is_added = added != nullptr;
            is_any_added = is_any_added || is_added;
            if (added && is_missed) {
                // Only a job that knows its peer was written by a version that notes its calls: of
                // an older one, all that is known is when its end passed.
                const bool is_finished = added->hasPeerIdentity()
                                             ? missJob(*added, kNeverRan, now)
                                             : finishNoted(*added, kEnded.arg(peerText(*added), kEndedWhileClosed),
                                                           kEndedWhileClosed, now);
                is_any_finished = is_finished || is_any_finished;
            }
        }
        if (!is_added) {
            qWarning().noquote() << QStringLiteral("schedule: keeping job %1 of %2:%3 as it is: %4")
                                        .arg(i)
                                        .arg(host)
                                        .arg(port)
                                        .arg(uuid.isNull() ? QStringLiteral("no such codec")
                                                           : QStringLiteral("not a valid job"));
            kept_elements_.push_back(element);
        }
    }
    if (is_any_added) emit scheduleUpdated();
    if (is_any_finished) save();
    return true;
}

bool Scheduler::load() {
    if (file_path_.isEmpty()) {
        qWarning("schedule load failed: no schedule file is set");
        return false;
    }
    Message root;
    try {
        root.read_from_file(QFile::encodeName(file_path_).toStdString());
        // Every save writes a root element, even without jobs: an empty file is a write that was
        // lost (a full disk), not an empty schedule.
        if (root.name().empty()) throw Exception("%s: The file is empty", "load");
    } catch (const Exception& error) {
        const QString text = QString::fromUtf8(error.what());
        if (!QFileInfo::exists(file_path_)) {
            // A first start: there is no schedule yet, which is nothing an operator needs told.
            qCDebug(lcScheduleFile).noquote() << "no schedule yet: " + text;
            return false;
        }
        qWarning().noquote() << "schedule load failed: " + text;
        if (QFileInfo(file_path_).isFile()) setAsideDamagedFile(errorReason(error.what()));
        return false;
    }
    return fromMessage(root);
}

void Scheduler::setAsideDamagedFile(const QString& error) {
    const QString aside = file_path_ + QStringLiteral(".bad-") + QLocale::c().toString(clock_(), QStringLiteral("yyyyMMdd-hhmmss"));
    const bool is_moved = QFile::rename(file_path_, aside);
    is_damaged_file_in_place_ = !is_moved;
    const QString consequence =
        is_moved ? tr("It was kept as %1. Kestrane starts without the scheduled connections it held.")
                 : tr("It could not be moved aside to %1 either, so it stays in place and is not saved over: "
                      "connections scheduled now last only until Kestrane closes.");
    MessageBox::warning(nullptr, tr("Load Schedule"),
                        tr("The schedule file %1 could not be read:\n%2\n\n")
                                .arg(QDir::toNativeSeparators(file_path_), error) +
                            consequence.arg(QDir::toNativeSeparators(aside)));
}
