// Scheduler's set-up and its list of bookings: adding, removing, editing and copying jobs, and the
// counts behind hasJobFor and the cap. Its other members are kept by concern: the pass in
// scheduler_pass.cpp, the course of each occurrence in scheduler_occurrences.cpp, what the codecs
// tell in scheduler_peers.cpp and the file in scheduler_file.cpp.
#include "scheduler/scheduler.h"

#include <QDebug>
#include <QLocale>

#include <algorithm>
#include <utility>

#include "scheduler/local_date_time.h"
#include "scheduler/plan.h"
#include "scheduler/series.h"
#include "scheduler/session_adaptor.h"

namespace {

const QString kLetGo = QStringLiteral("Call to %1 left up: its scheduled connection was removed");
const QString kEndedByEdit = QStringLiteral("Call to %1 ended: its scheduled connection was changed");

int job_id_counter = 0;  // process-wide; GUI thread

}  // namespace

Scheduler::Scheduler(QObject* parent) : QObject(parent) {
    setSessions(nullptr);
    setClock(nullptr);
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &Scheduler::tick);
    timer_.start();
}

Scheduler::~Scheduler() {
    // The sessions may outlive the scheduler: they must not call it then.
    if (sessions_->listener() == this) sessions_->setListener(nullptr);
}

void Scheduler::setSessions(std::shared_ptr<CodecSessions> sessions) {
    if (sessions_ && sessions_->listener() == this) sessions_->setListener(nullptr);
    sessions_ = sessions ? std::move(sessions) : std::make_shared<SessionAdaptor>(nullptr, nullptr);
    sessions_->setListener(this);
    held_calls_.setSessions(sessions_);
    for (const JobPtr& job : jobs_) watchPeer(*job);
}

void Scheduler::setClock(Clock clock) {
    clock_ = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}

int Scheduler::nextJobId() {
    return job_id_counter++;
}

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
    watchPeer(*record);
    const auto at = std::lower_bound(jobs_.begin(), jobs_.end(), record->start,
                                     [](const JobPtr& held, const QDateTime& start) { return held->start < start; });
    jobs_.insert(at, record);
    countJob(*record, +1);
    emit jobAdded(*record);
    return record;
}

void Scheduler::watchPeer(const Job& job) {
    sessions_->watch(job.uuid);
    if (sessions_->isReady(job.uuid)) {
        const PeerKey key{job.uuid, job.peer};
        sightings_.seed(key, listedIdentity(key));
    }
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
    const QDateTime now = clock_();
    if (removed->state != Job::Done) {
        letGoOfCall(*removed, now);
        noteOccurrencesPassedBehind(*removed, now);
    } else {
        letGoOfLateCall(*removed);
    }
    emit scheduleUpdated();
    return true;
}

void Scheduler::noteOccurrencesPassedBehind(const Job& removed, const QDateTime& now) {
    // Its own occurrence goes with it; those of its series that passed while it was still pending
    // (its end waiting on a codec away) would otherwise pass unsaid.
    if (!isRecurring(removed) || !removed.endReached(now)) return;
    QList<QDateTime> passed_starts;
    nextOccurrence(removed, now, &passed_starts);
    notePassedOccurrences(removed, passed_starts, now);
}

void Scheduler::letGoOfCall(const Job& removed, const QDateTime& now) {
    const PeerKey key{removed.uuid, removed.peer};
    if (!heldCallOf(removed)) return;
    Plan of_key = collectCalls([&key](const PeerKey& other) { return other == key; });
    PeerCalls& calls = of_key.add(key);
    // A booking still to come, or one whose peer is another now, held nothing.
    if (removed.state != Job::Ending && !wantsCall(removed, calls, now)) return;
    weigh(calls, now);
    if (calls.is_wanted || calls.is_maybe_wanted) return;
    const auto held = held_calls_.constFind(key);
    // A dial still ringing is stopped by the next pass, as any dial nobody wants: its late answer
    // would otherwise stay up for good.
    if (held != held_calls_.constEnd() && !held->is_seen_up) return;
    const bool is_up = isCallKnownUp(key);
    held_calls_.forget(key);
    if (is_up) logLine(removed, kLetGo.arg(peerText(removed)));
}

void Scheduler::letGoOfLateCall(const Job& removed) {
    const PeerKey key{removed.uuid, removed.peer};
    const auto held = held_calls_.constFind(key);
    if (held == held_calls_.constEnd() || !held->is_late || lateCallsRow(key)) return;
    // The row that told of it is gone: the schedule no longer tries to end it.
    const bool is_up = isCallKnownUp(key);
    held_calls_.forget(key);
    if (is_up) logLine(removed, kLetGo.arg(peerText(removed)));
    save();
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

bool Scheduler::holdsCall(const QUuid& codec, const QString& peer) const {
    return held_calls_.contains({codec, Job::normalPeerId(peer)});
}

QString Scheduler::editRefusal(int index, const Job& edited, bool was_done) const {
    if (index < 0) return tr("It is no longer in the schedule.");
    const Job& current = *jobs_[static_cast<size_t>(index)];
    // Whether an occurrence that has just run should run once more is the operator's to say.
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
    const QDateTime now = clock_();
    const Job current = *jobs_[static_cast<size_t>(index)];
    const PeerKey key{current.uuid, current.peer};
    const bool is_call_held_up = isHeldCallUp(current);
    // Up while its booking wanted it, though no list may have shown it yet: what the edit ends is
    // no late call.
    if (is_call_held_up) noteSeenUp(*held_calls_.find(key), true);
    const Job result = editedOccurrence(current, edited, now);
    setJobAt(index, result);
    watchPeer(result);
    runPass(now);
    // The edit took the call's booking off it: the pass sent its disconnect, and the codec's list
    // showing it gone says so, once.
    const auto held = held_calls_.find(key);
    if (is_call_held_up && held != held_calls_.end() && held->disconnect == HeldCall::Disconnect::kSent) {
        held->ended_line = kEndedByEdit.arg(peerText(current));
    }
    return true;
}

Job Scheduler::editedOccurrence(const Job& current, const Job& edited, const QDateTime& now) const {
    // What the dialog edits is taken; the rest stays as the scheduler has it now.
    Job result = current;
    result.start = edited.start;
    result.end = edited.end;
    result.priority = edited.priority;
    result.frequency = edited.frequency;
    result.recurrence_end = edited.recurrence_end;
    result.repeat_forever = edited.repeat_forever;
    // An edit that names the peer by its id alone keeps the name and address the job has.
    const QString peer = Job::normalPeerId(edited.peer);
    if (peer != current.peer || edited.hasPeerIdentity()) {
        result.peer = peer;
        result.peer_name = edited.peer_name;
        result.peer_address = edited.peer_address;
    }
    // Another peer, or a window still to open, is an occurrence of its own: nothing of the current
    // one holds for it. A window opened again after its end wants its call again.
    if (current.state == Job::Done || result.peerIdentity() != current.peerIdentity() || !result.startReached(now)) {
        result.restartOccurrence();
    } else if (current.endReached(now) && !result.endReached(now)) {
        result.connected_at = QDateTime();
        result.has_sent_connect = false;
    }
    // New times are the operator's chosen times from now on.
    if (result.start != current.start) result.start_clock = QTime();
    if (result.end != current.end) result.end_clock = QTime();
    return result;
}

bool Scheduler::isHeldCallUp(const Job& booking) const {
    const HeldCall* held = heldCallOf(booking);
    return held && held->disconnect == HeldCall::Disconnect::kNone && isCallKnownUp({booking.uuid, booking.peer});
}

QList<Job> Scheduler::jobList() const {
    QList<Job> copies;
    copies.reserve(jobCount());
    for (const JobPtr& job : jobs_) copies.append(*job);
    return copies;
}

void Scheduler::setState(Job& job, Job::JobState state) {
    if (job.state == state) return;
    countJob(job, -1);
    job.state = state;
    countJob(job, +1);
}

bool Scheduler::dropAgedDoneJobs(const QDateTime& now) {
    // A day by the wall clock, give or take a clock shift: every pass asks, of every job.
    const qint64 oldest_finish_ms = wallClockMs(now) - kDoneKeptSecs * 1000;
    // remove_if asks once per job, so each dropped one is uncounted once.
    const auto kept_end = std::remove_if(jobs_.begin(), jobs_.end(), [&](const JobPtr& job) {
        const bool is_aged =
            job->state == Job::Done && job->finished_at.isValid() && wallClockMs(job->finished_at) < oldest_finish_ms;
        if (!is_aged) return false;
        countJob(*job, -1);
        return true;
    });
    if (kept_end == jobs_.end()) return false;
    jobs_.erase(kept_end, jobs_.end());
    return true;
}
