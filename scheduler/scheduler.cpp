#include "scheduler/scheduler.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>

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
const QString kPeerGone = QStringLiteral("peer %1 is no longer in the codec's list");
const QString kPeerNowOther = QStringLiteral("peer %1 is now %2");
// A codec's peer name or address inside a reason: enough to tell peers apart, short enough for a
// log line and the window's status column.
constexpr int kMaxPeerTextInReason = 60;

int job_id_counter = 0;  // process-wide; GUI thread

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
    countJob(*jobs_[static_cast<size_t>(index)], -1);
    jobs_.erase(jobs_.begin() + index);
    emit scheduleUpdated();
    return true;
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
    // The edit would land on a record that is never saved, and a next occurrence has times of its own.
    if (jobs_[static_cast<size_t>(index)]->state == Job::Done && !was_done) {
        return tr("Its connection ended while it was being edited. Edit its next occurrence, if it has one, "
                  "or this one again.");
    }
    if (!Job::isPeerId(edited.peer)) return tr("The peer's id is not a number.");
    return {};
}

bool Scheduler::applyEdit(const Job& edited, bool was_done, QString* refusal) {
    const int index = indexOf(edited.id);
    const QString reason = editRefusal(index, edited, was_done);
    if (!reason.isEmpty()) {
        if (refusal) *refusal = reason;
        return false;
    }
    const Job& current = *jobs_[static_cast<size_t>(index)];
    Job result = edited;
    result.peer = Job::normalPeerId(result.peer);
    result.uuid = current.uuid;
    result.host = current.host;
    result.port = current.port;
    result.state = current.state;
    result.warning = current.warning;
    result.has_sent_connect = current.has_sent_connect;
    result.is_next_refused = current.is_next_refused;
    result.connected_at = current.connected_at;
    if (was_done && current.state == Job::Done) result.restartOccurrence();
    // Its end would otherwise drop the new peer and leave the old one connected.
    const bool keeps_peer = Job::isUnderWay(current.state) || (result.peer == current.peer && !result.hasPeerIdentity());
    if (keeps_peer) {
        result.peer = current.peer;
        result.peer_name = current.peer_name;
        result.peer_address = current.peer_address;
    }
    const bool is_same_peer = result.peer == current.peer && result.peer_name == current.peer_name &&
                              result.peer_address == current.peer_address;
    result.is_peer_followed = is_same_peer ? current.is_peer_followed : isPeerListedAsMade(result);
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
    const QString reason = connectBlockedReason(job);
    if (!reason.isEmpty()) {
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
    if (!sessions_->isRegistered(job.uuid)) return finishJob(job, now);
    const QString reason = unavailableReason(job);
    if (!reason.isEmpty()) {
        noteWaiting(job, reason, kDisconnectWaits);
        return false;
    }
    if (!sessions_->isPeerActive(job.uuid, job.peer)) {
        if (!finishJob(job, now)) return false;
        job.warning.clear();
        return true;
    }
    if (const Job* later = laterBooking(job)) return leaveCallUp(job, *later, now);
    disconnectJob(job);
    return false;
}

void Scheduler::connectJob(Job& job) {
    // Before the first connect only: later it would cut the connection still coming up.
    const bool is_cleared = !job.priority || job.has_sent_connect || sessions_->sendDisconnectAll(job.uuid);
    if (!is_cleared || !sessions_->sendConnect(job.uuid, job.peer)) {
        noteWaiting(job, kNotReady, kConnectWaits);
        return;
    }
    job.has_sent_connect = true;
    advance(job, Job::Starting);
}

bool Scheduler::endJob(Job& job, const QDateTime& now) {
    if (!sessions_->isRegistered(job.uuid)) return finishJob(job, now);
    if (const Job* later = laterBooking(job)) return leaveCallUp(job, *later, now);
    advance(job, Job::Ending);
    // The Ending step sends it again until the peer list shows the peer gone.
    disconnectJob(job);
    return false;
}

void Scheduler::disconnectJob(Job& job) {
    // Another peer's call under the id is not the job's to cut.
    const QString changed = peerChangeReason(job);
    if (!changed.isEmpty()) {
        noteWaiting(job, changed, kDisconnectWaits);
    } else if (!sessions_->sendDisconnect(job.uuid, job.peer.toInt())) {
        noteWaiting(job, kNotReady, kDisconnectWaits);
    }
}

bool Scheduler::finishJob(Job& job, const QDateTime& now) {
    const Job::JobState finished_state = job.state;
    setState(job, Job::Done);
    job.finished_at = now;
    if (job.frequency != Job::Daily && job.frequency != Job::Weekly) return true;
    Job next = nextOccurrence(job, now);
    if (job.recurrenceOver(now) || (!job.repeat_forever && next.start > job.recurrence_end)) {
        job.frequency = Job::Once;
        return true;
    }
    next.id = nextJobId();
    if (addJob(next)) return true;
    // Every pass comes back here until there is room: the refusal is logged once, as noteWaiting does.
    if (!job.is_next_refused) qWarning() << "schedule: the next occurrence was refused:" << next;
    setState(job, finished_state);
    noteWaiting(job, kNextRefused, kStaysPending);
    job.is_next_refused = true;
    return false;
}

Job Scheduler::nextOccurrence(const Job& job, const QDateTime& now) const {
    const int step_days = job.frequency == Job::Weekly ? 7 : 1;
    const qint64 span_days = job.start.date().daysTo(job.end.date());
    Job next = job;
    next.restartOccurrence();
    QDate date = job.start.date();
    // Occurrences that start this many days later still end before today: step over them at once.
    const qint64 past_days = date.daysTo(now.date()) - span_days - 2;
    if (past_days > step_days) date = date.addDays(past_days / step_days * step_days);
    // A daily occurrence already under way is skipped; a weekly one whose window is open is kept.
    do {
        date = date.addDays(step_days);
        next.setWindow(date, job.startClock(), date.addDays(span_days), job.endClock());
    } while (next.start.isValid() && (job.frequency == Job::Weekly ? next.end : next.start) <= now);
    return next;
}

bool Scheduler::missJob(Job& job, const QString& reason, const QDateTime& now) {
    return finishNoted(job, kMissed.arg(peerText(job), reason), QStringLiteral("missed: ") + reason, now);
}

bool Scheduler::finishNoted(Job& job, const QString& log_text, const QString& status, const QDateTime& now) {
    qWarning().noquote() << log_text;
    sessions_->addLogLine(job.uuid, log_text);
    job.warning = status;
    return finishJob(job, now);
}

const Job* Scheduler::laterBooking(const Job& job) const {
    const Job* latest = nullptr;
    for (const JobPtr& other : jobs_) {
        const bool is_under_way = other->state == Job::Starting || other->state == Job::Running;
        if (other.get() == &job || !is_under_way || other->end <= job.end) continue;
        if (other->uuid != job.uuid || other->peer != job.peer) continue;
        // Two bookings that each know their peer are for one peer only by the same name and address.
        const bool is_other_peer = job.hasPeerIdentity() && other->hasPeerIdentity() &&
                                   (other->peer_name != job.peer_name || other->peer_address != job.peer_address);
        if (is_other_peer) continue;
        if (!latest || other->end > latest->end) latest = other.get();
    }
    return latest;
}

bool Scheduler::leaveCallUp(Job& job, const Job& later, const QDateTime& now) {
    // A finish refused for want of room comes back every pass: said once, as noteWaiting does.
    if (job.is_next_refused) return finishJob(job, now);
    const QString until = QLocale::c().toString(
        later.end, later.end.date() == now.date() ? QStringLiteral("hh:mm") : QStringLiteral("yyyy-MM-dd hh:mm"));
    const QString reason = kLeftUp.arg(peerText(job), until);
    return finishNoted(job, kEnded.arg(peerText(job), reason), reason, now);
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
    const QString text = log_pattern.arg(peerText(job), reason);
    qWarning().noquote() << text;
    sessions_->addLogLine(job.uuid, text);
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
    if (!is_as_made && !job.is_peer_followed) return false;
    job.is_peer_followed = true;
    if (is_as_made) return false;
    job.peer_name = name;
    job.peer_address = address;
    return true;
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
