#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimeZone>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>
#include <vector>

#include "ipc/message/message.h"
#include "scheduler/codec_sessions.h"
#include "scheduler/held_calls.h"
#include "scheduler/job.h"
#include "scheduler/peer_key.h"
#include "scheduler/peer_sightings.h"

class QWidget;
struct PeerCalls;
struct Plan;

// The engine behind scheduled connections. It keeps the bookings (jobs) in order of start and
// decides every call from one plan: for each codec and peer, the call is wanted while some booking
// of that codec and peer has its window open (start <= now < end) and its peer id still names the
// peer it was made for. Every pass (tick, every ten seconds, and at once after an edit) compares
// what is wanted with what the codec's own peer list shows and acts on the difference: it connects
// a wanted call that is not up, holds one that is, and disconnects a call it holds that nobody
// wants any more, again each pass until the list shows it gone. A call it does not hold, one made
// by hand, is never cut; a call that came up in an occurrence and went is not dialled again in that
// occurrence's window. Nothing waits for a reply. Commands go only to a READY session.
//
// Each job is the Parts' record of one occurrence, and its state is read from the plan: Waiting
// before its window, Starting while its window is open and its call not up, Running once its call
// came up, Ending after its window while the schedule's disconnect is out and the call still up,
// Done. A finished daily or weekly job adds its next occurrence; those whose windows passed unseen
// get a "missed" line each. The pending jobs and the calls the schedule holds live in schedule.xml,
// written after every change; a finished job stays in the list as a Done record for a day, so that
// the program can run for months in a bounded list.
//
// One Scheduler serves the program. It reaches the codecs, and hears from them, only through
// CodecSessions (setSessions), and reads the time only through its clock (setClock), so that both
// can be replaced in tests.
//
// Threads: GUI thread only. The mutex is held by a pass alone; jobAdded and scheduleUpdated raised
// inside a pass reach their receivers while it is held, so receivers must not tick.
class Scheduler : public QObject, private CodecSessions::Listener {
    Q_OBJECT

public:
    static constexpr int kTickMs = 10000;
    // The most pending (not Done) jobs one schedule holds; addJob refuses more.
    static constexpr int kMaxJobs = 10000;
    // How long a job a pass finished is kept as a Done record; a pass drops it then.
    static constexpr qint64 kDoneKeptSecs = 24 * 3600;
    using Clock = std::function<QDateTime()>;

    // Starts the ten-second timer at once. Until setSessions, no codec is found.
    explicit Scheduler(QObject* parent = nullptr);
    // Deletes every job; saves nothing and emits nothing.
    ~Scheduler() override;

    // Becomes the sessions' listener, and watches the codec of every job.
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
    // Removing a booking never cuts a call: a call only it wanted is let go, with a line in the
    // codec's log, and stays up until someone ends it.
    bool removeJobAt(int index);
    // Writes an operator's edit of the job with `edited.id` back onto the job as it stands now (a
    // pass may have moved it on while the dialog was open), then runs a pass at once: the edit
    // changes what is wanted. A Done record edited starts again as Waiting; a new peer, or a window
    // that starts later than now, is a new occurrence. False, with the reason for the operator in
    // `refusal`, when the job has gone meanwhile, when it became Done meanwhile (the operator
    // chooses again whether it runs once more), when the peer is no peer id, or when it is a Done
    // record whose series goes on in a later occurrence.
    bool applyEdit(const Job& edited, bool was_done, QString* refusal = nullptr);
    // Any job of that codec, in any state (Done included, until a pass drops it).
    bool hasJobFor(const QUuid& uuid) const { return job_counts_.contains(uuid); }
    // Any job not Done.
    bool hasPendingJobs() const { return pending_count_ > 0; }
    // The process-wide job-id counter: returns it, then advances it.
    static int nextJobId();
    // Copies of every job, in the scheduler's order.
    QList<Job> jobList() const;
    int jobCount() const { return static_cast<int>(jobs_.size()); }
    // Whether the schedule holds a call of the codec's peer (by id), to end once nobody wants it.
    bool holdsCall(const QUuid& codec, const QString& peer) const;

    // The schedule file, as the message writer lays out its tree: under "jobs", whose "zone" names
    // the time zone its wall-clock times were written in, a "job" element per
    // job not Done, in order, then the elements of the last load that named no codec or were
    // refused, as they were read; then a "calls" element with a "call" element per call the
    // schedule holds. Written straight, not through a tree: a schedule is saved whole at every change.
    std::string fileText() const;
    // Writes the file atomically (mode 0600); false, with a warning and lastSaveError, on failure.
    bool save();
    // save, and on failure a message box over `parent`: for the operator's own changes.
    bool saveOrWarn(QWidget* parent);
    QString lastSaveError() const { return last_save_error_; }
    // Adds a job per "job" element whose address and port name a registered codec, in a state
    // that fits the clock, and the calls the file holds; emits scheduleUpdated once. The others are
    // kept to be written back as they are. A job whose end has passed and whose element notes no
    // call is finished at once (logged, shown, and the file saved): missed, when the element knows
    // its peer and so would have noted a call; else its end is only known to have passed while the
    // program was closed. A file without "calls", written before the schedule kept its calls, holds
    // the calls its jobs noted. A file written under another time zone keeps each time's moment,
    // read in local time, and says so once; one that names no zone is read in local time, and one
    // that names a zone this machine does not know is too, and says so once.
    bool fromMessage(const Message& root);
    // Reads the file. A file that exists but cannot be read, or is empty, is moved aside as
    // "schedule.xml.bad-<yyyyMMdd-hhmmss>" and a message box says so.
    bool load();

signals:
    void jobAdded(const Job& job);
    void scheduleUpdated();
    // What some job's row shows (its state, or why it waits or was missed) changed: in a pass, or
    // at once as a codec's list or refusal came in.
    void jobsShownChanged();

public slots:
    // One pass; see runPass.
    void tick();

private:
    using JobPtr = std::shared_ptr<Job>;  // shared so that a pass keeps the job it settles alive

    // --------------------------------------------------------------------------------------------
    // The list of bookings (scheduler.cpp)

    int indexOf(int id) const;
    // Why applyEdit cannot write `edited` onto the job at `index` (-1: gone); empty when it can.
    QString editRefusal(int index, const Job& edited, bool was_done) const;
    // The first occurrence not Done among those the job's finish added, one after another; null
    // when its series does not go on.
    const Job* pendingOccurrenceAfter(const Job& job) const;
    // The operator's edit, `edited`, written onto `current` as it stands now: see applyEdit.
    Job editedOccurrence(const Job& current, const Job& edited, const QDateTime& now) const;
    // The schedule holds the booking's call, up and wanted so far.
    bool isHeldCallUp(const Job& booking) const;
    // addJob without scheduleUpdated, for a caller that adds many; the record added, or null.
    JobPtr insertJob(const Job& job);
    // The codec is watched and what its list names under the job's id now is taken as seen.
    void watchPeer(const Job& job);
    // Keeps the counts behind hasJobFor and the cap: `delta` is +1 as a job enters the list or
    // becomes what it now is, -1 as it leaves or stops being it.
    void countJob(const Job& job, int delta);
    // Changes the state of a job in the list, keeping the counts.
    void setState(Job& job, Job::JobState state);
    // Drops the Done records a pass finished more than kDoneKeptSecs ago by the wall clock; true
    // when any went.
    bool dropAgedDoneJobs(const QDateTime& now);
    // removeJobAt's let-go: the call held for `removed` that no other booking wants is no longer
    // the schedule's.
    void letGoOfCall(const Job& removed, const QDateTime& now);
    // removeJobAt's let-go of a Done record: the late call its row told of, which the codec would
    // not end, is no longer the schedule's once no row tells of it.
    void letGoOfLateCall(const Job& removed);
    // A "missed" line for each occurrence of a removed job's series whose window passed behind it.
    void noteOccurrencesPassedBehind(const Job& removed, const QDateTime& now);

    // --------------------------------------------------------------------------------------------
    // The pass (scheduler_pass.cpp)

    // The pass: first each finished occurrence whose series has its next window open hands on to
    // it; then the plan is made and each codec and peer is made to match it, releases before
    // dials (letGoOfUnwanted, then takeOrNeedsDial and dial); then every
    // pending job's state is read from the plan, and those whose window passed are finished. A pass
    // asked for while one is under way (a nested event loop) is skipped.
    void runPass(const QDateTime& now);
    void handOnToOpenOccurrences(const QDateTime& now);
    // The pending bookings and held calls of the codecs and peers `includes` takes, each with what
    // the codec's last list names under its id.
    Plan collectCalls(const std::function<bool(const PeerKey&)>& includes) const;
    Plan makePlan(const QDateTime& now) const;
    // Before anything is sent: the calls of a codec that left the fleet went with it, and who the
    // peer is is decided (followPeer).
    void reviewPeer(PeerCalls& calls, const QDateTime& now);
    // Each codec with forced bookings that have not made their room yet, and want their call,
    // makes it once for all of them: a disconnect-all, or, where one of their own calls is up, a
    // disconnect of each other call. The bookings of those other calls had their call, and are
    // not dialled again.
    void makeRoomForForces(Plan& plan, const QDateTime& now);
    bool isForcing(const PeerCalls& calls, const QDateTime& now) const;
    void makeRoom(const QUuid& codec, const std::vector<PeerCalls*>& forcing, Plan& plan, const QDateTime& now);
    // True when a booking of `ended` wanted the call and takes note.
    bool noteEndedByForce(PeerCalls* ended, const QString& forcer, const QDateTime& now);
    // On a ready codec: the schedule's call that nobody wants is released, one that went is
    // forgotten, a dial not seen up counts the pass, and one nobody wants is stopped or settled
    // (stopOrForgetDial).
    void letGoOfUnwanted(PeerCalls& calls, const QDateTime& now);
    // A dial nobody wants any more that has not come up: forgotten once it has settled; until then
    // its connect may be on its way, and it is stopped once with a disconnect (unless `may_stop` is
    // false: a booking may still want it), which settles nothing.
    void stopOrForgetDial(const PeerKey& key, HeldCall& held, bool may_stop);
    // The operator's dial of a window that has not opened yet: counts its passes, and is let go
    // once no window of its peer opens soon.
    void waitForWindow(const PeerCalls& calls, HeldCall& held, const QDateTime& now);
    // On a ready codec: the wanted call is held when up; true when it is not, and a booking still
    // needs it dialled.
    bool takeOrNeedsDial(PeerCalls& calls, const QDateTime& now);
    // When the peer's last connect went out, in ms since the epoch; the least for none.
    qint64 lastDialMs(const PeerCalls& calls) const;
    // Dials each in turn: the forces' own first, as given, then from `first_in_turn` on the
    // longest waiting first.
    void dialInTurn(std::vector<PeerCalls*>& dials, size_t first_in_turn, const QDateTime& now);
    // The dials of the codec that the last pass held back behind a connect the codec had not read
    // yet: sent now that it has, so that bookings starting together are dialled together.
    void dialHeldBack(const QUuid& codec);
    // A booking whose window is open needs its call dialled, and no force of it waits for its room.
    bool isDialOwed(const PeerCalls& calls, const QDateTime& now) const;
    // The call is up and wanted, made or found; it becomes the schedule's, and each booking whose
    // window is open has had its call.
    void hold(PeerCalls& calls, const QDateTime& now);
    // Connects the wanted call.
    void dial(PeerCalls& calls, const QDateTime& now);
    // A call made or taken now for the booking's peer.
    HeldCalls::Map::iterator holdCallOf(const PeerKey& key, const Job& booking, const QDateTime& now);
    // The schedule's call that nobody wants: disconnected each pass while up (after a refusal, less
    // and less often); forgotten once gone. A dial's call that came up only after its windows
    // closed, and one the operator's connect joined, are said to be ended once gone.
    void release(PeerCalls& calls, const QDateTime& now);
    // The held call is seen up in the codec's list; a dial not seen before that nobody wants now
    // came up late. True when it had not been seen up before.
    static bool noteSeenUp(HeldCall& held, bool is_wanted);

    // --------------------------------------------------------------------------------------------
    // Each occurrence's course (scheduler_occurrences.cpp)

    // Reads the job's state from the plan, and finishes it when its window has passed; notes when
    // what its row shows changed (is_shown_changed_).
    void settle(Job& job, const Plan& plan, const QDateTime& now);
    // A Waiting row says as soon as a list shows it that its peer id names another peer now.
    void settleWaiting(Job& job);
    void settleOpen(Job& job, const QDateTime& now);
    void settleRunning(Job& job, const QDateTime& now);
    // Its call was seen gone in its window at `when` (invalid: it is up).
    void noteCallEnded(Job& job, const QDateTime& when);
    void settleEnded(Job& job, const PeerCalls* calls, const QDateTime& now);
    // Its force was refused, as far as the codec's list shows: a call it was to end is still up.
    bool isForceRefused(const Job& job) const;
    // noteWaiting, keeping the reason in the job's wait_reason.
    void noteConnectWait(Job& job, const BookingReason& reason, const QString& log_text);
    void clearWaitReason(Job& job);
    // Done, its status cleared, then finished as usual.
    bool finishQuietly(Job& job, const QDateTime& now);
    // Done, with the line its ended occurrence deserves: its call left up for the bookings that
    // want it until `wanted_until` (invalid: nobody), left up as another peer's, or missed.
    bool finishOccurrence(Job& job, const QDateTime& wanted_until, const QDateTime& now);
    // Done, then the next occurrence of a daily or weekly job is added, which so takes the finished
    // one's place under kMaxJobs. Each occurrence between them whose whole window passed gets its
    // line. A next occurrence that is refused all the same leaves the job pending in its state,
    // with a warning, to be finished again at the next pass: its recurrence stays in the file. True
    // when the job is Done.
    bool finishJob(Job& job, const QDateTime& now);
    // A loaded job whose end passed while its element noted no call: missed (its dial ringing as
    // the program closed, or never run), or, where the file cannot tell, ended while the program
    // was closed (see fromMessage). The file's calls are loaded first.
    bool finishEndedWhileClosed(Job& job, const QDateTime& now);
    // The booking's call is seen up: once a later occurrence of its series has opened (a window
    // longer than its period), its later_call_seen_at notes it. True when it did.
    bool noteLaterOccurrenceCall(Job& booking, const QDateTime& now);
    // A "missed" line per occurrence that passed unseen, the oldest first; past a few, one for the rest.
    void notePassedOccurrences(const Job& job, const QList<QDateTime>& starts, const QDateTime& now);
    // Done without a connection: logged, shown on the job, then finished as usual.
    bool missJob(Job& job, const QString& reason, const QDateTime& now);
    // Logs the line, shows `status` on the job and finishes it.
    bool finishNoted(Job& job, const QString& log_text, const QString& status, const QDateTime& now);
    // A Qt warning and a line in the job's codec's log.
    void logLine(const Job& job, const QString& text) { logLine(job.uuid, text); }
    void logLine(const QUuid& codec, const QString& text);
    // Shows the reason on the job and, once per occurrence and reason, logs `log_text`.
    void noteWaiting(Job& job, const BookingReason& reason, const QString& log_text);
    // The peer's name as the job knows it, else as the codec's list has it, else "peer <id>".
    QString peerText(const Job& job) const { return peerText({job.uuid, job.peer}, job.peer_name); }
    // The same for a peer known by `name` where that is not empty.
    QString peerText(const PeerKey& key, const QString& name) const;
    // Why the job's codec can take no command now; none when it can.
    BookingReason unavailableReason(const Job& job) const;
    // Why the job's peer id no longer names the peer the job was made for ("peer 5 is now 'Other
    // Studio'"); none when it still does, or when the job does not know its peer's name and address.
    BookingReason peerChangeReason(const Job& job) const;
    // Why the job may not connect now, in the words of a missed occurrence: its codec is not in the
    // fleet or not ready, else peerChangeReason.
    QString connectBlockedReason(const Job& job) const;
    // Why an occurrence ended without its call: the codec's refusal of its connect, else why it may
    // not connect now, else why it could not before, else that its connects did not take or that
    // its end came first.
    QString missedReason(const Job& job) const;
    // The codec's refusal of its connect, as what it is: the connect's alone, or maybe another's.
    static BookingReason connectRefusalReason(const Job& job);

    // --------------------------------------------------------------------------------------------
    // What the codecs tell (scheduler_peers.cpp)

    // CodecSessions::Listener. A list decides once, for every booking of each peer id together,
    // whether they follow what the id names now; the window and the file take a new name.
    void peerListReceived(const QUuid& uuid) override;
    void codecLeftReady(const QUuid& uuid) override;
    // What a list or a refusal from the codec told shows on the rows of its jobs whose window has
    // not passed at once, not at the next pass; the file is saved when it or `is_file_changed`
    // says so.
    void showNews(const QUuid& uuid, bool is_file_changed);
    // The codec's list shows the schedule's call gone: it is no longer held, and a call made later
    // under the id, by hand, is nobody's to cut; its ended_line is said. True when one went.
    bool forgetGoneCall(const PeerKey& key);
    // The codec read the stop of the key's dial without refusing it (see HeldCall::kLateAnswerPasses).
    bool isStopTaken(const PeerKey& key, const HeldCall& held) const;
    // Forgets a dial whose stop the codec took: nothing of it rings. True when it did.
    bool forgetSettledDial(const PeerKey& key);
    // Says each call a force ended, of no booking, once the codec's list shows it gone.
    void sayCallsEndedByForce(const QUuid& codec);
    // Some booking of the peer opens within a dial's bound (opensWithin).
    static bool opensSoon(const Job& booking, const PeerCalls& calls, const QDateTime& now);
    static bool opensSoon(const PeerCalls& calls, const QDateTime& now);
    // A time in a line: the clock alone on `now`'s day, else the date too.
    static QString timeText(const QDateTime& when, const QDateTime& now);
    // What became of a late call, on the row of the occurrence that dialled it (Done by then).
    void showOnLateCallsRow(const PeerKey& key, const QString& status);
    // That row: the last Done record of the key's peer to finish; null when there is none.
    Job* lateCallsRow(const PeerKey& key) const;
    // After a load: each late call whose end the codec refused, still retried, has its row again
    // (Done records are not kept in the file), so that removing it ends the retries. True when one
    // was added.
    bool restoreLateCallRows(const QDateTime& now);
    // The codec's list shows the schedule's call up: each booking whose window is open has had its
    // call, though no pass has seen it yet, and does not dial it again should it go. True when one
    // took note.
    bool noteCallUp(const PeerCalls& calls, const QDateTime& now);
    // A refusal is kept on the occurrences it may answer; each pass says it where the codec's
    // list shows the command undone.
    void connectRefused(const QUuid& uuid, const QString& peer, const QString& reason, bool is_sure) override;
    // A late call's refused disconnect is retried, less and less often, until
    // HeldCall::kMaxLateDisconnectRefusals: then it is given up on (giveUpLateCall).
    void disconnectRefused(const QUuid& uuid, int peer, const QString& reason) override;
    // Said once, in the log and on the row of the occurrence that dialled it; the call stays up and
    // is no longer the schedule's.
    void giveUpLateCall(const PeerKey& key, const HeldCall& held);
    // The refusal settles the operator's connect for a dial it joined or that waits for a window.
    void operatorConnectRefused(const QUuid& uuid, const QString& peer) override;
    // A call the schedule was ending is the operator's from now on.
    void operatorDisconnected(const QUuid& uuid, int peer) override;
    void disconnectAllRefused(const QUuid& uuid, const QString& reason) override;
    // A dial held back behind the connect the codec has now read goes at once (dialHeldBack).
    void commandRead(const QUuid& uuid) override;
    // A call the operator connects while a window of its peer is open joins that booking; so does
    // one connected within a dial's bound before such a window opens, which the window waits for
    // (HeldCall::is_awaiting_window). One connected while none is, is the operator's alone: a dial
    // of the peer is no longer the schedule's, and nothing of the schedule's ends that call.
    void operatorConnected(const QUuid& uuid, const QString& peer) override;
    // The operator's connect as the dial of the bookings whose window is open (`is_window_open`)
    // or opens soon: they have had the operator's connect, and the call is held as dialled now.
    HeldCall& takeOperatorsDial(const PeerCalls& calls, bool is_window_open, const QDateTime& now);
    // The forces the codec's last pass made that may have been refused: one of `other` (any, when
    // empty).
    void noteForceRefused(const QUuid& uuid, const QString& other, const QString& reason);
    // Who the peer is, for every booking of one codec and peer id and the call held for them:
    // they follow `listed` (the id's peer now) for the operator's own rename, for a new name at the
    // same host seen while the id stayed (`seen_before`, the list before, else empty), and for a
    // rename at the same host with the held call still up under it, unless the id was seen to
    // leave. A held call whose id names another peer now is not the schedule's to cut: let go.
    // True when the bookings took a new name.
    bool followPeer(const PeerKey& key, const std::vector<Job*>& bookings, const QStringList& listed,
                    const QStringList& seen_before);
    bool isFollowed(const PeerKey& key, const QStringList& was, const QStringList& listed,
                    const QStringList& seen_before) const;
    // {id, name, address} as the codec's last list names the id; empty when it does not.
    QStringList listedIdentity(const PeerKey& key) const;
    // The held call of the key when it is the booking's peer's; null otherwise.
    const HeldCall* heldCallOf(const Job& booking) const;
    // The codec is ready and its last list shows the peer id in a call.
    bool isCallKnownUp(const PeerKey& key) const;

    // --------------------------------------------------------------------------------------------
    // The file (scheduler_file.cpp)

    // Says once, in a notice and in the log of each codec with bookings, that the times moved.
    void noteZoneChange(const QTimeZone& written_in);
    // Says once, the same way, that the file's zone is unknown here and its times read as local.
    void noteUnknownZone(const QString& written_in);
    // A warning, and a line in the log of each codec with bookings.
    void logLoadLine(const QString& line);
    // Moves a damaged schedule file aside and tells the operator.
    void setAsideDamagedFile(const QString& error);

    QMutex mutex_;  // held by a pass
    QTimer timer_;
    std::vector<JobPtr> jobs_;      // ascending start; equal starts: the later added first
    int pending_count_ = 0;         // jobs_ not Done
    QHash<QUuid, int> job_counts_;  // jobs_ by codec; a codec without jobs has no entry
    HeldCalls held_calls_;
    QSet<PeerKey> dials_held_back_;  // dials the last pass held back behind an unread connect
    // Calls of no booking that a force's disconnect went out to end, with the forcing peer as rows
    // name it: said once the codec's list shows them gone.
    QHash<PeerKey, QString> ended_by_force_;
    PeerSightings sightings_;
    std::vector<Message> kept_elements_;  // "job" elements of the last load that made no job
    bool is_file_changed_ = false;        // by the pass under way
    bool is_shown_changed_ = false;       // what a row shows, by the pass under way
    bool is_done_row_changed_ = false;    // what a Done row shows, since the last signal
    std::shared_ptr<CodecSessions> sessions_;
    Clock clock_;
    QString file_path_;
    QString last_save_error_;
    // The file could not be read nor moved aside: it is not overwritten while it is there.
    bool is_damaged_file_in_place_ = false;
};
