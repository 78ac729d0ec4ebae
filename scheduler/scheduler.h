#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>
#include <vector>

#include "ipc/message.h"
#include "scheduler/job.h"

class CodecSessions;
class QWidget;

// The engine behind scheduled connections. It keeps the jobs in order of start, wakes every ten
// seconds (tick) and moves each job through Waiting, Starting, Running, Ending and Done: it sends
// "connect" when the start has come, believes the connection is up only when the codec's own peer
// list says so, sends "disconnect" at the end, believes that too only from the peer list, and then
// finishes the job or adds the next daily or weekly occurrence. Nothing waits for a reply: each
// step is confirmed, or repeated, at the next tick. Commands go only to a READY session, and only
// while the job's peer id still names the peer it was made for: a rename seen in the codec's peer
// lists is followed (peerListReceived), while an id that left a list, or changed while the codec
// was away, now names another peer. A job that cannot start before its end is logged as missed and
// never connected late. An end leaves the call up while a later booking of the same peer, or the
// series' own next occurrence, has its window open; the last one's end ends it. The pending jobs
// live in schedule.xml, which is written after every change; a finished job stays in the list as a
// Done record for a day (longer while a booking holds the call it left up), so that the program
// can run for months in a bounded list.
//
// One Scheduler serves the program. It reaches the codecs only through CodecSessions (setSessions)
// and reads the time only through its clock (setClock), so that both can be replaced in tests.
//
// Threads: GUI thread only. The mutex is held by tick alone; jobAdded and scheduleUpdated raised
// inside a tick reach their receivers while it is held, so receivers must not tick.
class Scheduler : public QObject {
    Q_OBJECT

public:
    static constexpr int kTickMs = 10000;
    // The most pending (not Done) jobs one schedule holds; addJob refuses more.
    static constexpr int kMaxJobs = 10000;
    // How long a job the tick finished is kept as a Done record; the tick drops it then.
    static constexpr qint64 kDoneKeptSecs = 24 * 3600;
    using Clock = std::function<QDateTime()>;

    // Starts the ten-second timer at once. Until setSessions, no codec is found.
    explicit Scheduler(QObject* parent = nullptr);
    // Deletes every job; saves nothing and emits nothing.
    ~Scheduler() override;

    void setSessions(std::shared_ptr<CodecSessions> sessions);
    CodecSessions& sessions() const { return *sessions_; }
    // The schedule file; until set, load and save fail.
    void setFilePath(const QString& path) { file_path_ = path; }
    QString filePath() const { return file_path_; }
    // Replaces QDateTime::currentDateTime; an empty clock puts it back.
    void setClock(Clock clock);
    QDateTime now() const { return clock_(); }
    // For shutdown, before the last save.
    void stopTimer() { timer_.stop(); }

    // Inserts a copy by start time, before any job with the same start, and emits jobAdded and
    // scheduleUpdated. Refuses (false, nothing emitted) a job without a valid start, end and
    // recurrence end, whose end is not after its start, whose peer is no peer id (Job::isPeerId),
    // or when kMaxJobs pending jobs are held. A job without an address takes its codec's now; the
    // peer id is kept in Job::normalPeerId's form.
    bool addJob(const Job& job);
    // The first job with the id; false and nothing emitted when there is none.
    bool removeJob(int id);
    bool getJob(int id, Job& out) const;
    // Overwrites the job at the index whole, in place (its position stays); emits scheduleUpdated.
    bool setJobAt(int index, const Job& job);
    // A removed booking that held the call another one left up gives it back: that one ends it.
    bool removeJobAt(int index);
    // Writes an operator's edit of the job with `edited.id` back, as it stands now (the scheduler
    // may have moved it on while the dialog was open): it keeps its current state, except that a
    // job that was Done when the edit began starts again as Waiting, and a job under way keeps its
    // peer, with the name and address it was made with. An edit whose peer has left the codec's list
    // (no name) keeps the name and address of the job's peer while the id stays. False, with the reason for
    // the operator in `refusal`, when the job has gone meanwhile, when it became Done meanwhile (a
    // Done record is never saved; a recurring job's next occurrence has times of its own), when
    // the peer is no peer id, when it is a Done record whose series goes on in a later occurrence,
    // or when the job is under way and the edit names another peer or a start later than now.
    bool applyEdit(const Job& edited, bool was_done, QString* refusal = nullptr);
    // Any job of that codec, in any state (Done included, until the tick drops it).
    bool hasJobFor(const QUuid& uuid) const { return job_counts_.contains(uuid); }
    // Any job not Done.
    bool hasPendingJobs() const { return pending_count_ > 0; }
    // The process-wide job-id counter: returns it, then advances it.
    static int nextJobId();
    // Copies of every job, in the scheduler's order.
    QList<Job> jobList() const;
    int jobCount() const { return static_cast<int>(jobs_.size()); }

    // The schedule file's tree: a "job" element per job not Done, in order, then the elements of
    // the last load that named no codec or were refused, as they were read.
    void toMessage(Message& root) const;
    // Writes the file atomically (mode 0600); false, with a warning and lastSaveError, on failure.
    bool save();
    // save, and on failure a message box over `parent`: for the operator's own changes.
    bool saveOrWarn(QWidget* parent);
    QString lastSaveError() const { return last_save_error_; }
    // Adds a job per "job" element whose address and port name a registered codec, in a state
    // that fits the clock, and emits scheduleUpdated once. The others are kept to be written back
    // as they are. A job whose end has passed is ended only when its element notes that its call
    // came up; otherwise it is finished at once (logged, shown, and the file saved), so that a call
    // made by hand after its window is left alone: missed, when the element knows its peer and so
    // would have noted a call; else its end is only known to have passed while the program was closed.
    bool fromMessage(const Message& root);
    // Reads the file. A file that exists but cannot be read, or is empty, is moved aside as
    // "schedule.xml.bad-<yyyyMMdd-hhmmss>" and a message box says so.
    bool load();

signals:
    void jobAdded(const Job& job);
    void scheduleUpdated();

public slots:
    // One pass over the jobs, in order; see the steps below. A pass that finished a job saves.
    void tick();
    // The codec's session took in a peer list. Each pending job of that codec follows its peer
    // through a rename (is_peer_followed); the window and the file take the new name and address.
    void peerListReceived(const QUuid& uuid);
    // The codec's session left READY: what its peer lists show once it is back may be other peers.
    void codecLeftReady(const QUuid& uuid);

private:
    using JobPtr = std::shared_ptr<Job>;  // shared so that a pass keeps the job it steps alive

    int indexOf(int id) const;
    // Why applyEdit cannot write `edited` onto the job at `index` (-1: gone); empty when it can.
    QString editRefusal(int index, const Job& edited, bool was_done) const;
    // addJob without scheduleUpdated, for a caller that adds many; the record added, or null.
    JobPtr insertJob(const Job& job);
    // Keeps the counts behind hasJobFor and the cap: `delta` is +1 as a job enters the list or
    // becomes what it now is, -1 as it leaves or stops being it.
    void countJob(const Job& job, int delta);
    // Changes the state of a job in the list, keeping the counts.
    void setState(Job& job, Job::JobState state);
    // setState for a step the job made: nothing it noted before holds any more.
    void advance(Job& job, Job::JobState state);
    // Drops the Done records the tick finished more than kDoneKeptSecs ago; true when any went.
    bool dropAgedDoneJobs(const QDateTime& now);
    // The booking that holds a job's call past the job's end (see callHolder); `until` is invalid
    // when there is none.
    struct CallHolder {
        Job* booking = nullptr;  // null: the job's own next occurrence, which its finish adds
        QDateTime until;
    };

    // The Done record whose call `holder` held takes it back and ends it, with a line.
    void giveCallBack(const Job& holder);
    // The first occurrence not Done among those the job's finish added, one after another; null
    // when its series does not go on.
    const Job* pendingOccurrenceAfter(const Job& job) const;
    // One job's step in a pass; true when it finished an occurrence (the file changes).
    bool step(Job& job, const QDateTime& now);
    bool stepWaiting(Job& job, const QDateTime& now);
    bool stepStarting(Job& job, const QDateTime& now);
    bool stepRunning(Job& job, const QDateTime& now);
    bool stepEnding(Job& job, const QDateTime& now);
    // Sends the connect (after a forced job's disconnect-all, once per occurrence).
    void connectJob(Job& job);
    // Ending, and that step at once: the disconnect goes out now when the codec is ready, else once
    // it is, unless a booking holds the call (leaveCallUp). True when the job is Done.
    bool endJob(Job& job, const QDateTime& now);
    // The end's decision, in the first pass and every one after until the call is seen gone: Done
    // for a codec that left the fleet; the call left up for a booking that holds it (unless the
    // disconnect went out already), or for another peer's under the id; else the disconnect, or
    // why it waits. True when the job is Done.
    bool endCall(Job& job, const QDateTime& now);
    // Done, its status cleared: its call is gone, or another booking's now.
    bool finishQuietly(Job& job, const QDateTime& now);
    // The disconnect, unless the peer id names another peer now; otherwise notes why it waits.
    void disconnectJob(Job& job);
    // Done, then the next occurrence of a daily or weekly job is added, which so takes the finished
    // one's place under kMaxJobs; with `is_call_handed_on`, as Running with its call noted. Each
    // occurrence between them whose whole window passed gets its line. A next occurrence that is
    // refused all the same leaves the job pending in its state, with a warning, to be finished again
    // at the next pass: its recurrence stays in the file. True when the job is Done.
    bool finishJob(Job& job, const QDateTime& now, bool is_call_handed_on = false);
    // The job's next occurrence: the first on its chosen wall-clock times whose end lies after now,
    // so one whose window is open is kept. The starts of those skipped, within the recurrence, go
    // to `passed_starts` when given.
    Job nextOccurrence(const Job& job, const QDateTime& now, QList<QDateTime>* passed_starts = nullptr) const;
    // The recurrence lets `next` follow the job.
    bool hasNextOccurrence(const Job& job, const Job& next, const QDateTime& now) const;
    // A "missed" line per occurrence that passed unseen, the oldest first; past a few, one for the rest.
    void notePassedOccurrences(const Job& job, const QList<QDateTime>& starts, const QDateTime& now);
    // Done without a connection: logged, shown on the job, then finished as usual.
    bool missJob(Job& job, const QString& reason, const QDateTime& now);
    // Logs the line, shows `status` on the job and finishes it.
    bool finishNoted(Job& job, const QString& log_text, const QString& status, const QDateTime& now,
                     bool is_call_handed_on = false);
    // A Qt warning and a line in the job's codec's log.
    void logLine(const Job& job, const QString& text);
    // Another booking of the job's codec and peer that can take its call now (canTakeCall) and ends
    // after it. The latest such one; null when there is none.
    Job* laterBooking(const Job& job, const QDateTime& now) const;
    // Under way; or Waiting with its window open, nothing keeping it from starting, and the call up.
    bool canTakeCall(const Job& booking, const QDateTime& now) const;
    // Who keeps the job's call up past its end: a later booking of its peer, else its own next
    // occurrence whose window is open. A booked window holds its call from start to end, so the
    // seam between two is never cut.
    CallHolder callHolder(const Job& job, const QDateTime& now) const;
    // Done without the disconnect, since `holder` has the call now: logged and shown on the job. A
    // Waiting holder takes the call as its own, Running with it noted.
    bool leaveCallUp(Job& job, const CallHolder& holder, const QDateTime& now);
    // A Running job's status says when its call is not up (or is another peer's) before its end.
    // It reconnects nothing.
    void noteCallState(Job& job);
    // peerListReceived for one job: whether it took a new name or address.
    bool followPeer(Job& job);
    // The id lists a peer at the job's own (non-empty) address in the call the job noted: its peer,
    // renamed where the job could not see it.
    bool isOwnCallRenamed(const Job& job, const QString& address) const;
    // The codec is ready and lists the job's peer id under the job's own name and address.
    bool isPeerListedAsMade(const Job& job) const;
    // Notes once per occurrence and reason why the job waits: a warning, the job's status and,
    // for a registered codec, a device-log line.
    void noteWaiting(Job& job, const QString& reason, const QString& log_text);
    // The peer's name in the codec's peer list, else "peer <id>".
    QString peerText(const Job& job) const;
    // Why the job's codec can take no command now; empty when it can.
    QString unavailableReason(const Job& job) const;
    // Why the job's peer id no longer names the peer the job was made for ("peer 5 is now 'Other
    // Studio'"); empty when it still does, or when the job does not know its peer's name and address.
    QString peerChangeReason(const Job& job) const;
    // unavailableReason, else peerChangeReason: why the job may not connect, or confirm its call, now.
    QString connectBlockedReason(const Job& job) const;
    // Moves a damaged schedule file aside and tells the operator.
    void setAsideDamagedFile(const QString& error);

    QMutex mutex_;  // held by tick for its pass
    QTimer timer_;
    std::vector<JobPtr> jobs_;  // ascending start; equal starts: the later added first
    int pending_count_ = 0;         // jobs_ not Done
    QHash<QUuid, int> job_counts_;  // jobs_ by codec; a codec without jobs has no entry
    std::vector<Message> kept_elements_;  // "job" elements of the last load that made no job
    std::shared_ptr<CodecSessions> sessions_;
    Clock clock_;
    QString file_path_;
    QString last_save_error_;
    // The file could not be read nor moved aside: it is not overwritten while it is there.
    bool is_damaged_file_in_place_ = false;
};
