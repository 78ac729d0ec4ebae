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
#include "scheduler/local_date_time.h"
#include "scheduler/session_adaptor.h"

// A missing schedule on a first start is routine: off unless the category is switched on.
Q_LOGGING_CATEGORY(lcScheduleFile, "kestrane.schedule.file", QtInfoMsg)

namespace {

const QString kNotReady = QStringLiteral("codec not ready");
const QString kNotInFleet = QStringLiteral("codec not in the fleet");
const QString kTooLate = QStringLiteral("its end had passed");
const QString kConnectWaits = QStringLiteral("Scheduled connection to %1 waits: %2");
const QString kDisconnectWaits = QStringLiteral("Scheduled disconnection from %1 waits: %2");
const QString kDisconnectRefused = QStringLiteral("Scheduled disconnection from %1 refused by the codec: %2");
const QString kRefusedByCodec = QStringLiteral("disconnect refused by the codec: %1");
const QString kConnectRefused = QStringLiteral("connect refused by the codec: %1");
const QString kConnectRefusedLine = QStringLiteral("Scheduled connection to %1 refused by the codec: %2");
const QString kForceRefused = QStringLiteral("the codec refused to end its other calls: %1");
const QString kForceRefusedLine = QStringLiteral("Scheduled connection to %1: the codec refused to end its other calls: %2");
const QString kEndedByForce = QStringLiteral("its call was ended by the forced connection to %1");
const QString kEndedByForceLine = QStringLiteral("Call to %1 ended by the forced connection to %2");
// Its connects went out, and none was seen to take.
const QString kNeverUp = QStringLiteral("its call did not come up");
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
const QString kLetGo = QStringLiteral("Call to %1 left up: its scheduled connection was removed");
const QString kEndedByEdit = QStringLiteral("Call to %1 ended: its scheduled connection was changed");
const QString kZoneChanged =
    QStringLiteral("The time zone changed from %1 to %2 since the schedule was saved: every scheduled connection "
                   "keeps its moment");
const QString kOccurrencePassed = QStringLiteral("its occurrence at %1 passed before it could run");
const QString kMoreOccurrencesPassed = QStringLiteral("%1 more occurrences, the last at %2, passed before they could run");
const QString kPeerGone = QStringLiteral("peer %1 is no longer in the codec's list");
const QString kPeerNowOther = QStringLiteral("peer %1 is now %2");
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

int job_id_counter = 0;  // process-wide; GUI thread

// A time in a line: the clock alone on `now`'s day, else the date too.
QString timeText(const QDateTime& when, const QDateTime& now) {
    return QLocale::c().toString(
        when, when.date() == now.date() ? QStringLiteral("hh:mm") : QStringLiteral("yyyy-MM-dd hh:mm"));
}

bool isRecurring(const Job& job) {
    return job.frequency == Job::Daily || job.frequency == Job::Weekly;
}

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
    for (const JobPtr& job : jobs_) watchPeer(*job);
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
    const bool is_up = isCallKnownUp(key);
    forgetCall(key);
    if (is_up) logLine(removed, kLetGo.arg(peerText(removed)));
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
    const Job result = editedOccurrence(current, edited, now);
    setJobAt(index, result);
    watchPeer(result);
    runPass(now);
    // The edit took the call's booking off it: the pass ended it, and says so once.
    const auto held = held_calls_.constFind(key);
    if (is_call_held_up && held != held_calls_.constEnd() && held->disconnect == HeldCall::Disconnect::kSent) {
        logLine(current, kEndedByEdit.arg(peerText(current)));
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
    const QDateTime oldest_finish = now.addSecs(-kDoneKeptSecs);
    // remove_if asks once per job, so each dropped one is uncounted once.
    const auto kept_end = std::remove_if(jobs_.begin(), jobs_.end(), [&](const JobPtr& job) {
        const bool is_aged = job->state == Job::Done && job->finished_at.isValid() && job->finished_at < oldest_finish;
        if (!is_aged) return false;
        countJob(*job, -1);
        return true;
    });
    if (kept_end == jobs_.end()) return false;
    jobs_.erase(kept_end, jobs_.end());
    return true;
}

// ------------------------------------------------------------------------------------------------
// The pass

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
    handOnToOpenOccurrences(now);
    dropOutdatedCallElements();
    Plan plan = makePlan(now);
    for (PeerCalls& calls : plan.calls) reviewPeer(calls, now);
    // A codec's forces come before its dials, so that no call is made and ended in one pass; each
    // force's own call is then dialled first, right behind the room it made.
    makeRoomForForces(plan, now);
    for (PeerCalls& calls : plan.calls) {
        if (calls.is_forcing) actOn(calls, now);
    }
    for (PeerCalls& calls : plan.calls) {
        if (!calls.is_forcing) actOn(calls, now);
    }
    // By index, reading the length each time: an occurrence added behind this one is settled too.
    for (size_t i = 0; i < jobs_.size(); ++i) {
        const JobPtr job = jobs_[i];
        settle(*job, plan, now);
    }
    if (dropAgedDoneJobs(now)) emit scheduleUpdated();
    const bool is_file_changed = is_file_changed_;
    mutex_.unlock();
    if (is_file_changed) save();
}

void Scheduler::handOnToOpenOccurrences(const QDateTime& now) {
    for (size_t i = 0; i < jobs_.size(); ++i) {
        const JobPtr job = jobs_[i];
        if (job->state == Job::Done || !job->endReached(now) || job->is_next_refused || !isRecurring(*job)) continue;
        const Job next = nextOccurrence(*job, now);
        if (!hasNextOccurrence(*job, next) || !next.startReached(now)) continue;
        // The series' next window is open: its call, if up, is that occurrence's from now on.
        const bool is_same_peer = peerChangeReason(*job).isEmpty();
        finishOccurrence(*job, is_same_peer ? next.end : QDateTime(), now);
    }
}

const Scheduler::PeerCalls* Scheduler::Plan::find(const PeerKey& key) const {
    const auto found = index.constFind(key);
    return found == index.constEnd() ? nullptr : &calls[static_cast<size_t>(*found)];
}

Scheduler::PeerCalls* Scheduler::Plan::find(const PeerKey& key) {
    return const_cast<PeerCalls*>(static_cast<const Plan*>(this)->find(key));
}

Scheduler::PeerCalls& Scheduler::Plan::add(const PeerKey& key) {
    const auto found = index.constFind(key);
    if (found != index.constEnd()) return calls[static_cast<size_t>(*found)];
    index.insert(key, static_cast<int>(calls.size()));
    calls.emplace_back();
    calls.back().key = key;
    return calls.back();
}

Scheduler::Plan Scheduler::collectCalls(const std::function<bool(const PeerKey&)>& includes) const {
    Plan plan;
    // One walk: the bookings go to their codec and peer in the order of the list.
    for (const JobPtr& job : jobs_) {
        const PeerKey key{job->uuid, job->peer};
        if (job->state != Job::Done && includes(key)) plan.add(key).bookings.push_back(job.get());
    }
    for (auto held = held_calls_.cbegin(); held != held_calls_.cend(); ++held) {
        if (includes(held.key())) plan.add(held.key());
    }
    for (PeerCalls& calls : plan.calls) calls.listed = listedIdentity(calls.key);
    return plan;
}

Scheduler::Plan Scheduler::makePlan(const QDateTime& now) const {
    Plan plan = collectCalls([](const PeerKey&) { return true; });
    for (PeerCalls& calls : plan.calls) weigh(calls, now);
    return plan;
}

void Scheduler::weigh(PeerCalls& calls, const QDateTime& now) {
    calls.is_wanted = false;
    calls.is_maybe_wanted = false;
    calls.needs_call = false;
    calls.wanted_until = QDateTime();
    for (const Job* booking : calls.bookings) {
        const bool is_wanted = wantsCall(*booking, calls, now);
        const bool is_maybe_wanted = !is_wanted && booking->isOpen(now) && isRenamedAtItsHost(*booking, calls);
        if (!is_wanted && !is_maybe_wanted) continue;
        calls.is_wanted = calls.is_wanted || is_wanted;
        calls.is_maybe_wanted = calls.is_maybe_wanted || is_maybe_wanted;
        calls.needs_call = calls.needs_call || (is_wanted && !booking->connected_at.isValid());
        if (!calls.wanted_until.isValid() || booking->end > calls.wanted_until) calls.wanted_until = booking->end;
    }
}

bool Scheduler::isRenamedAtItsHost(const Job& booking, const PeerCalls& calls) {
    return booking.hasPeerIdentity() && !calls.listed.isEmpty() && calls.listed.value(2) == booking.peer_address &&
           calls.listed.value(1) != booking.peer_name;
}

bool Scheduler::wantsCall(const Job& booking, const PeerCalls& calls, const QDateTime& now) {
    return booking.isOpen(now) && isListedAsMade(booking, calls);
}

bool Scheduler::isListedAsMade(const Job& booking, const PeerCalls& calls) {
    return !booking.hasPeerIdentity() || calls.listed == booking.peerIdentity();
}

bool Scheduler::needsRoom(const Job& booking, const PeerCalls& calls, const QDateTime& now) {
    return booking.priority && !booking.forced_at.isValid() && wantsCall(booking, calls, now);
}

void Scheduler::reviewPeer(PeerCalls& calls, const QDateTime& now) {
    const PeerKey& key = calls.key;
    if (!sessions_->isRegistered(key.codec)) {
        // Its codec left the fleet, and the call with it.
        if (forgetCall(key)) is_file_changed_ = true;
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
    } else if (!sessions_->sendDisconnectAll(codec)) {
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
    for (const QString& other : others) noteEndedByForce(plan.find({codec, other}), forcer, now);
}

void Scheduler::noteEndedByForce(PeerCalls* ended, const QString& forcer, const QDateTime& now) {
    if (!ended) return;
    // Up before the force, its call was its bookings' own: ended, it is not dialled again.
    for (Job* booking : ended->bookings) {
        if (!wantsCall(*booking, *ended, now)) continue;
        if (!booking->connected_at.isValid()) booking->connected_at = now;
        booking->ended_by_force = forcer;
        booking->is_force_end_logged = false;
    }
    weigh(*ended, now);
}

void Scheduler::actOn(PeerCalls& calls, const QDateTime& now) {
    const PeerKey& key = calls.key;
    if (!sessions_->isReady(key.codec)) return;
    if (sessions_->isPeerActive(key.codec, key.peer)) {
        if (calls.is_wanted) {
            hold(calls, now);
        } else if (!calls.is_maybe_wanted) {
            release(calls);
        }
        return;
    }
    if (forgetGoneCall(key)) {
        is_file_changed_ = true;
    } else if (!calls.is_wanted) {
        letGoOfUnansweredDial(key, now);
        return;
    }
    if (calls.is_wanted && calls.needs_call) dial(calls, now);
}

void Scheduler::letGoOfUnansweredDial(const PeerKey& key, const QDateTime& now) {
    const auto held = held_calls_.constFind(key);
    if (held == held_calls_.constEnd()) return;
    // Only its connect went out, and nothing is cut that never came up: should that connect still
    // bring the call up, it is ended then. Once the codec refused it, or had a tick to act on it,
    // nothing is on its way.
    const bool is_settled = held->is_connect_refused || !held->dialled_at.isValid() ||
                            held->dialled_at.msecsTo(now) >= kTickMs;
    if (is_settled && forgetCall(key)) is_file_changed_ = true;
}

void Scheduler::hold(PeerCalls& calls, const QDateTime& now) {
    auto held = held_calls_.find(calls.key);
    if (held != held_calls_.end() && held->disconnect == HeldCall::Disconnect::kSent) {
        // Its disconnect is on its way: should the codec act on it, the call's going is the
        // schedule's own doing, and the booking that wants it now dials it again.
        held->disconnect = HeldCall::Disconnect::kOverruled;
        return;
    }
    for (Job* booking : calls.bookings) {
        if (!wantsCall(*booking, calls, now)) continue;
        if (held == held_calls_.end()) held = holdCallOf(calls.key, *booking, now);
        if (!booking->connected_at.isValid()) {
            booking->connected_at = now;
            is_file_changed_ = true;
        }
        noteLaterOccurrenceCall(*booking, now);
    }
    held->is_seen_up = true;
    held->disconnect = HeldCall::Disconnect::kNone;
    held->refusal.clear();
}

void Scheduler::dial(PeerCalls& calls, const QDateTime& now) {
    std::vector<Job*> dialling;
    for (Job* booking : calls.bookings) {
        if (wantsCall(*booking, calls, now) && !booking->connected_at.isValid()) dialling.push_back(booking);
    }
    if (dialling.empty() || !sessions_->sendConnect(calls.key.codec, calls.key.peer)) return;
    for (Job* booking : dialling) booking->has_sent_connect = true;
    auto held = held_calls_.find(calls.key);
    if (held == held_calls_.end()) held = holdCallOf(calls.key, *dialling.front(), now);
    held->dialled_at = now;
    held->is_connect_refused = false;
}

void Scheduler::release(PeerCalls& calls) {
    const auto held = held_calls_.find(calls.key);
    if (held == held_calls_.end()) return;  // not the schedule's: never cut
    if (sessions_->sendDisconnect(calls.key.codec, calls.key.peer.toInt())) held->disconnect = HeldCall::Disconnect::kSent;
}

void Scheduler::settle(Job& job, const Plan& plan, const QDateTime& now) {
    if (job.state == Job::Done) return;
    if (!job.startReached(now)) {
        setState(job, Job::Waiting);
        settleWaiting(job);
    } else if (!job.endReached(now)) {
        settleOpen(job);
    } else {
        settleEnded(job, plan.find({job.uuid, job.peer}), now);
    }
}

void Scheduler::settleWaiting(Job& job) {
    // Only a ready codec's list tells who is under the id now.
    if (!sessions_->isReady(job.uuid)) return;
    const QString changed = peerChangeReason(job);
    if (changed.isEmpty()) {
        clearWaitReason(job);
        return;
    }
    noteConnectWait(job, changed, kConnectWaits.arg(peerText(job), changed));
}

void Scheduler::settleOpen(Job& job) {
    const QString unavailable = unavailableReason(job);
    if (!unavailable.isEmpty()) {
        if (job.connected_at.isValid()) {
            // Its call, noted before the codec or the program went away, is up as far as is known:
            // nothing waits to connect, and the state stays as it was last seen.
            if (job.state != Job::Running) setState(job, Job::Starting);
            job.warning = unavailable;
        } else {
            setState(job, Job::Starting);
            noteWaiting(job, unavailable, kConnectWaits.arg(peerText(job), unavailable));
        }
        return;
    }
    if (job.connected_at.isValid()) {
        // Its call came up: nothing dials again in this window, and the status says what became of it.
        setState(job, Job::Running);
        settleRunning(job);
        return;
    }
    setState(job, Job::Starting);
    const QString changed = peerChangeReason(job);
    if (!changed.isEmpty()) {
        noteConnectWait(job, changed, kConnectWaits.arg(peerText(job), changed));
    } else if (!job.connect_refusal.isEmpty()) {
        noteConnectWait(job, kConnectRefused.arg(job.connect_refusal),
                        kConnectRefusedLine.arg(peerText(job), job.connect_refusal));
    } else if (isForceRefused(job)) {
        noteWaiting(job, kForceRefused.arg(job.force_refusal), kForceRefusedLine.arg(peerText(job), job.force_refusal));
    } else {
        job.warning.clear();
        clearWaitReason(job);
    }
}

void Scheduler::settleRunning(Job& job) {
    const QString changed = peerChangeReason(job);
    if (!changed.isEmpty()) {
        job.warning = changed;
    } else if (isForceRefused(job)) {
        noteWaiting(job, kForceRefused.arg(job.force_refusal), kForceRefusedLine.arg(peerText(job), job.force_refusal));
    } else if (sessions_->isPeerActive(job.uuid, job.peer)) {
        job.warning.clear();
    } else if (job.ended_by_force.isEmpty()) {
        job.warning = kCallEnded;
    } else {
        job.warning = kEndedByForce.arg(job.ended_by_force);
        if (!job.is_force_end_logged) logLine(job, kEndedByForceLine.arg(peerText(job), job.ended_by_force));
        job.is_force_end_logged = true;
    }
}

bool Scheduler::isForceRefused(const Job& job) const {
    if (job.force_refusal.isEmpty()) return false;
    // Refused, as far as it shows: a call it was to end is still up.
    return std::any_of(job.forced_others.cbegin(), job.forced_others.cend(),
                       [&](const QString& other) { return sessions_->isPeerActive(job.uuid, other); });
}

void Scheduler::noteConnectWait(Job& job, const QString& status, const QString& log_text) {
    noteWaiting(job, status, log_text);
    if (job.wait_reason == status) return;
    job.wait_reason = status;
    is_file_changed_ = true;
}

void Scheduler::clearWaitReason(Job& job) {
    if (job.wait_reason.isEmpty()) return;
    job.wait_reason.clear();
    is_file_changed_ = true;
}

void Scheduler::settleEnded(Job& job, const PeerCalls* calls, const QDateTime& now) {
    const bool is_wanted = calls && (calls->is_wanted || calls->is_maybe_wanted);
    const HeldCall* held = heldCallOf(job);
    if (job.hasHadCall() && held && !is_wanted) {
        // What it said while its window was open is no note of its disconnect.
        if (job.state != Job::Ending) job.warning.clear();
        setState(job, Job::Ending);
        if (!sessions_->isReady(job.uuid)) {
            noteWaiting(job, kNotReady, kDisconnectWaits.arg(peerText(job), kNotReady));
        } else if (!held->refusal.isEmpty()) {
            noteWaiting(job, kRefusedByCodec.arg(held->refusal), kDisconnectRefused.arg(peerText(job), held->refusal));
        } else {
            job.warning.clear();  // what it waited for no longer holds
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
    const QString changed = peerChangeReason(job);
    if (job.connected_at.isValid() && !changed.isEmpty() && isCallKnownUp(key)) {
        const QString status = kLeftUpSince.arg(changed);
        return finishNoted(job, kEnded.arg(peerText(job), status), status, now);
    }
    return finishQuietly(job, now);
}

bool Scheduler::finishQuietly(Job& job, const QDateTime& now) {
    job.warning.clear();
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
    noteWaiting(job, kNextRefused, kStaysPending.arg(peerText(job), kNextRefused));
    job.is_next_refused = true;
    return false;
}

Job Scheduler::nextOccurrence(const Job& job, const QDateTime& now, QList<QDateTime>* passed_starts) const {
    // An occurrence whose window is still open is kept: the call belongs in it until its end.
    for (qint64 days = stepDays(job);; days += stepDays(job)) {
        const Job next = occurrenceAfter(job, days);
        if (!next.start.isValid() || next.end > now) return next;
        if (passed_starts && hasNextOccurrence(job, next)) passed_starts->append(next.start);
    }
}

bool Scheduler::noteLaterOccurrenceCall(Job& booking, const QDateTime& now) {
    // Most occurrences are far from their series' next start: told without working it out.
    if (!isRecurring(booking) || now < booking.start.addDays(stepDays(booking)).addSecs(-kMaxClockShiftSecs)) {
        return false;
    }
    // The latest start of a later occurrence that has come: seen up since, that one has its call.
    QDateTime opened;
    for (qint64 days = stepDays(booking);; days += stepDays(booking)) {
        const Job later = occurrenceAfter(booking, days);
        if (!later.start.isValid() || later.start > now || !hasNextOccurrence(booking, later)) break;
        opened = later.start;
    }
    if (!opened.isValid() || (booking.later_call_seen_at.isValid() && booking.later_call_seen_at >= opened)) return false;
    booking.later_call_seen_at = now;
    is_file_changed_ = true;
    return true;
}

int Scheduler::stepDays(const Job& job) {
    return job.frequency == Job::Weekly ? 7 : 1;
}

Job Scheduler::occurrenceAfter(const Job& job, qint64 days) {
    Job next = job;
    next.restartOccurrence();
    const QDate start_date = job.start.date().addDays(days);
    next.setWindow(start_date, job.startClock(), start_date.addDays(job.start.date().daysTo(job.end.date())),
                   job.endClock());
    return next;
}

bool Scheduler::hasNextOccurrence(const Job& job, const Job& next) {
    return job.repeat_forever || next.start <= job.recurrence_end;
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

bool Scheduler::finishNoted(Job& job, const QString& log_text, const QString& status, const QDateTime& now) {
    logLine(job, log_text);
    job.warning = status;
    return finishJob(job, now);
}

void Scheduler::logLine(const Job& job, const QString& text) {
    qWarning().noquote() << text;
    sessions_->addLogLine(job.uuid, text);
}

void Scheduler::noteWaiting(Job& job, const QString& status, const QString& log_text) {
    if (job.warning == status) return;
    job.warning = status;
    job.is_next_refused = false;
    logLine(job, log_text);
}

// ------------------------------------------------------------------------------------------------
// The calls the schedule holds

QHash<PeerKey, HeldCall>::iterator Scheduler::holdCall(const PeerKey& key, const HeldCall& call) {
    dropKeptCallElements(key);
    return held_calls_.insert(key, call);
}

QHash<PeerKey, HeldCall>::iterator Scheduler::holdCallOf(const PeerKey& key, const Job& booking, const QDateTime& now) {
    HeldCall call;
    call.peer_name = booking.peer_name;
    call.peer_address = booking.peer_address;
    call.since = now;
    is_file_changed_ = true;
    return holdCall(key, call);
}

bool Scheduler::forgetCall(const PeerKey& key) {
    if (held_calls_.remove(key) == 0) return false;
    dropKeptCallElements(key);
    return true;
}

void Scheduler::dropKeptCallElements(const PeerKey& key) {
    QString host;
    int port = 0;
    if (kept_call_elements_.empty() || !sessions_->address(key.codec, host, port)) return;
    const auto is_of_key = [&](const Message& element) {
        const Message::Attributes& a = element.attributes();
        return a.get_qstring("ip", QString()) == host && a.get_int("port", 0) == port &&
               Job::normalPeerId(a.get_qstring("peer", QString())) == key.peer;
    };
    dropCallElementsWhere(is_of_key);
}

void Scheduler::dropOutdatedCallElements() {
    if (kept_call_elements_.empty()) return;
    QHash<QString, QUuid> codecs;  // by "host port", looked up once a pass
    const auto is_outdated = [&](const Message& element) {
        const Message::Attributes& a = element.attributes();
        const QString host = a.get_qstring("ip", QString());
        const int port = a.get_int("port", 0);
        const QString address = host + QLatin1Char(' ') + QString::number(port);
        auto codec = codecs.find(address);
        if (codec == codecs.end()) codec = codecs.insert(address, sessions_->findByAddress(host, port));
        // Its codec is in the fleet again, and shows the peer out of any call: the call went.
        return !codec->isNull() && sessions_->isReady(*codec) &&
               !sessions_->isPeerActive(*codec, Job::normalPeerId(a.get_qstring("peer", QString())));
    };
    dropCallElementsWhere(is_outdated);
}

void Scheduler::dropCallElementsWhere(const std::function<bool(const Message&)>& is_dropped) {
    const auto kept_end = std::remove_if(kept_call_elements_.begin(), kept_call_elements_.end(), is_dropped);
    if (kept_end == kept_call_elements_.end()) return;
    kept_call_elements_.erase(kept_end, kept_call_elements_.end());
    is_file_changed_ = true;
}

// ------------------------------------------------------------------------------------------------
// Who the peer is

void Scheduler::peerListReceived(const QUuid& uuid) {
    // A list from a codec that is not ready tells nothing; the first pass once it is decides.
    if (!sessions_->isReady(uuid)) return;
    Plan of_codec = collectCalls([&uuid](const PeerKey& key) { return key.codec == uuid; });
    bool is_changed = false;
    for (PeerCalls& calls : of_codec.calls) {
        const QStringList seen_before = sightings_.see(calls.key, calls.listed);
        is_changed = followPeer(calls.key, calls.bookings, calls.listed, seen_before) || is_changed;
        is_changed = forgetGoneCall(calls.key) || noteCallUp(calls, clock_()) || is_changed;
    }
    if (!is_changed) return;
    emit scheduleUpdated();
    save();
}

bool Scheduler::forgetGoneCall(const PeerKey& key) {
    const auto held = held_calls_.find(key);
    if (held == held_calls_.end() || sessions_->isPeerActive(key.codec, key.peer)) return false;
    // Only a call seen up, or one whose disconnect went out, is gone; a connect may still be on its way.
    if (!held->is_seen_up && held->disconnect == HeldCall::Disconnect::kNone) return false;
    return forgetCall(key);
}

bool Scheduler::noteCallUp(const PeerCalls& calls, const QDateTime& now) {
    const auto held = held_calls_.find(calls.key);
    if (held == held_calls_.end() || held->disconnect != HeldCall::Disconnect::kNone ||
        !sessions_->isPeerActive(calls.key.codec, calls.key.peer)) {
        return false;
    }
    held->is_seen_up = true;
    bool is_noted = false;
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
}

void Scheduler::connectRefused(const QUuid& uuid, const QString& peer, const QString& reason) {
    const PeerKey key{uuid, Job::normalPeerId(peer)};
    const auto held = held_calls_.find(key);
    if (held != held_calls_.end() && !held->is_seen_up) held->is_connect_refused = true;
    // Said on the rows of the occurrences that dialled it, while their call is not up.
    for (const JobPtr& job : jobs_) {
        if (job->state == Job::Done || job->uuid != uuid || job->peer != key.peer) continue;
        if (job->has_sent_connect && !job->connected_at.isValid()) job->connect_refusal = reason;
    }
}

void Scheduler::disconnectRefused(const QUuid& uuid, int peer, const QString& reason) {
    const auto held = held_calls_.find({uuid, QString::number(peer)});
    if (held != held_calls_.end() && held->disconnect == HeldCall::Disconnect::kSent) held->refusal = reason;
    noteForceRefused(uuid, QString::number(peer), reason);
}

void Scheduler::disconnectAllRefused(const QUuid& uuid, const QString& reason) {
    noteForceRefused(uuid, QString(), reason);
}

void Scheduler::noteForceRefused(const QUuid& uuid, const QString& other, const QString& reason) {
    const QDateTime now = clock_();
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
        forgetCall(key);
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

QString Scheduler::missedReason(const Job& job) const {
    if (!job.connect_refusal.isEmpty()) return kConnectRefused.arg(job.connect_refusal);
    const QString blocked = connectBlockedReason(job);
    if (!blocked.isEmpty()) return blocked;
    if (!job.wait_reason.isEmpty()) return job.wait_reason;
    return job.has_sent_connect ? kNeverUp : kTooLate;
}

QString Scheduler::connectBlockedReason(const Job& job) const {
    const QString unavailable = unavailableReason(job);
    return unavailable.isEmpty() ? peerChangeReason(job) : unavailable;
}

// ------------------------------------------------------------------------------------------------
// The schedule file

namespace {

// Appends an element of attributes alone, as the message writer lays it out at `depth`. The names
// are the records' own, and a value spelt out by the program goes as it is: only codec texts are
// checked and escaped, for thousands of elements at every save.
class ElementText {
public:
    ElementText(std::string& out, const char* name, int depth) : out_(out) {
        out_ += '\n';
        out_.append(static_cast<size_t>(depth - 1) * 4, ' ');
        out_ += '<';
        out_ += name;
    }
    ~ElementText() { out_ += "/>"; }
    ElementText(const ElementText&) = delete;
    ElementText& operator=(const ElementText&) = delete;

    Job::AttributeVisitor attributes() {
        return [this](const char* name, std::string_view text, bool is_spelt_out) {
            if (!is_spelt_out) {
                Message::append_xml_attribute(out_, name, text);
                return;
            }
            out_ += ' ';
            out_ += name;
            out_ += "=\"";
            out_ += text;
            out_ += '"';
        };
    }

private:
    std::string& out_;
};

}  // namespace

std::string Scheduler::fileText() const {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<jobs";
    // The file's times are wall-clock times of this zone: a load under another keeps their moments.
    const QByteArray zone = localZoneId();
    Message::append_xml_attribute(out, "zone", std::string_view(zone.constData(), static_cast<size_t>(zone.size())));
    out += '>';
    out.reserve(jobs_.size() * 320);
    for (const JobPtr& job : jobs_) {
        if (job->state == Job::Done) continue;
        if (job->host.isEmpty()) {
            qWarning() << "schedule: not saving a job whose codec has no address:" << *job;
            continue;
        }
        ElementText element(out, "job", 2);
        job->visitAttributes(element.attributes());
    }
    for (const Message& element : kept_elements_) element.append_xml(out, 2);
    // Always written, even empty: a file without it was written before the schedule kept its calls.
    std::vector<std::pair<PeerKey, const HeldCall*>> held;
    for (auto call = held_calls_.cbegin(); call != held_calls_.cend(); ++call) held.emplace_back(call.key(), &*call);
    // In a fixed order, so that the same schedule gives the same file.
    std::sort(held.begin(), held.end(), [](const auto& a, const auto& b) {
        return a.first.codec != b.first.codec ? a.first.codec < b.first.codec
                                              : a.first.peer.toInt() < b.first.peer.toInt();
    });
    std::string calls;
    QUuid codec;
    QString host;
    int port = 0;
    bool is_registered = false;
    for (const auto& [key, call] : held) {
        if (key.codec != codec) {
            codec = key.codec;
            is_registered = sessions_->address(codec, host, port);
        }
        if (!is_registered) continue;  // its codec left the fleet
        ElementText element(calls, "call", 3);
        call->visitAttributes(host, port, key.peer, element.attributes());
    }
    for (const Message& element : kept_call_elements_) element.append_xml(calls, 3);
    if (calls.empty()) {
        out += "\n    <calls/>";
    } else {
        out += "\n    <calls>";
        out += calls;
        out += "\n    </calls>";
    }
    out += "\n</jobs>\n";
    return out;
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
            Message::write_bytes_to_file(fileText(), QFile::encodeName(file_path_).toStdString());
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
    const QTimeZone written_in = zoneWrittenIn(root);
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
            job.fromMessage(element, written_in);
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
                                             ? missJob(*added, added->wait_reason.isEmpty() ? kNeverRan : added->wait_reason, now)
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
            // Written back under this zone, it keeps its moments too.
            if (written_in.isValid()) retimeElement(kept_elements_.back(), written_in);
        }
    }
    if (root.child_count("calls") > 0) {
        loadHeldCalls(root.get_child("calls", 0), written_in);
    } else {
        holdNotedCalls();
    }
    if (written_in.isValid() && (is_any_added || !kept_elements_.empty())) noteZoneChange(written_in);
    if (is_any_added) emit scheduleUpdated();
    if (is_any_finished) save();
    return true;
}

QTimeZone Scheduler::zoneWrittenIn(const Message& root) {
    const QByteArray written = QByteArray::fromStdString(root.attributes().get_string("zone", ""));
    // No zone (an older file), or this one: read as local times, daylight saving and all.
    if (written.isEmpty() || written == localZoneId()) return {};
    const QTimeZone zone(written);
    if (!zone.isValid()) {
        qWarning().noquote() << "schedule: the file names the time zone" << QString::fromUtf8(written)
                             << "which this machine does not know; its times are read as local times";
    }
    return zone;
}

void Scheduler::retimeElement(Message& element, const QTimeZone& written_in) {
    Message::Attributes& a = element.attributes();
    for (const char* name : {"start", "end", "recurrence_end", "connected", "forced", "later_call_seen", "since"}) {
        QDate date;
        QTime time;
        if (!Job::parseDateText(a.get_qstring(name, QString()), date, time)) continue;
        const QDateTime moment = localDateTime(date, time, written_in);
        a.set(name, Job::dateText(moment.date(), moment.time()).toStdString());
    }
}

void Scheduler::noteZoneChange(const QTimeZone& written_in) {
    const QString was = QString::fromUtf8(written_in.id());
    const QString now = QString::fromUtf8(localZoneId());
    const QString line = kZoneChanged.arg(was, now);
    qWarning().noquote() << line;
    QSet<QUuid> told;
    for (const JobPtr& job : jobs_) {
        if (told.contains(job->uuid)) continue;
        told.insert(job->uuid);
        sessions_->addLogLine(job->uuid, line);
    }
    MessageBox::information(nullptr, tr("Load Schedule"),
                            tr("The scheduled connections were saved in the time zone %1, and this machine is now in "
                               "%2.\n\nEach keeps its moment: its times now read in %2.")
                                .arg(was, now));
}

void Scheduler::loadHeldCalls(const Message& calls, const QTimeZone& written_in) {
    const unsigned count = calls.child_count("call");
    for (unsigned i = 0; i < count; ++i) {
        if (held_calls_.size() + static_cast<int>(kept_call_elements_.size()) >= kMaxJobs) {
            qWarning() << "schedule: the file holds" << count - i << "more calls than the" << kMaxJobs
                       << "a schedule keeps; they are dropped";
            return;
        }
        const Message& element = calls.get_child("call", i);
        const Message::Attributes& a = element.attributes();
        const QUuid codec = sessions_->findByAddress(a.get_qstring("ip", QString()), a.get_int("port", 0));
        HeldCall call;
        QString peer;
        if (codec.isNull() || !call.fromMessage(element, peer, written_in)) {
            kept_call_elements_.push_back(element);
            if (written_in.isValid()) retimeElement(kept_call_elements_.back(), written_in);
            continue;
        }
        if (held_calls_.contains({codec, peer})) continue;
        held_calls_.insert({codec, peer}, call);
        sessions_->watch(codec);
    }
}

void Scheduler::holdNotedCalls() {
    for (const JobPtr& job : jobs_) {
        if (job->state == Job::Done || !job->connected_at.isValid()) continue;
        const PeerKey key{job->uuid, job->peer};
        if (held_calls_.contains(key)) continue;
        HeldCall noted;
        noted.peer_name = job->peer_name;
        noted.peer_address = job->peer_address;
        noted.since = job->connected_at;
        noted.is_seen_up = true;
        held_calls_.insert(key, noted);
    }
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
