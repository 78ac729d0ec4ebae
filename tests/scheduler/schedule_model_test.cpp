// Random mixes of bookings, checked pass by pass against a model of what the schedule must do.
//
// Each seed books two to four connections on one codec (once, daily or weekly; forced or not; one
// or two peers; windows of 5 minutes to 28 hours, some ending together, back to back, longer than
// their period, short ones starting a minute before another peer's, or forced and starting inside
// another peer's window with the codec away across both starts) and lets three days pass in steps
// of a few minutes, often landing just after a start or an end, with the program restarted on its
// file (also while a dial rings), the codec away, far ends hanging up (also just after a start),
// the operator's Disconnect, calls made by hand, bookings removed (also the one whose dial rings)
// and edited, and peers renamed, moved or their ids given to others, seen and unseen. Every far end
// answers late: an accepted connect brings its call up one to three steps later, unless a
// disconnect of that peer, or of all, reaches the codec first; a step is a pass while the program
// runs. In some runs one far end takes four to seven steps, in others twelve to seventeen (longer
// than a dial's bound, so that windows end on it), and the codec rings anew on a repeated connect. In half the runs the
// codec has one channel, which a call up or ringing takes, and its refusals name no connect; in some it does not tell
// when it has read a command; now and then it reads a pass's commands only after the next pass. The operator calls by
// hand at the codec's panel or with the program's Connect, also right after a window closed on a ringing dial: a panel
// call after a stop the codec read without refusing is someone else's. The model knows who each peer really is (an
// entity: a rename keeps it, a move by another client or an id given to another peer makes a new one; unseen changes of
// who is under an id always change the host, so that they can be told apart), and after every pass it checks what the
// codec was told and what the schedule did against that.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/scheduler/scheduler_test_fixture.h"

namespace {

constexpr int kSeeds = 2000;
constexpr int kDay = 24 * 60;
constexpr int kRunMinutes = 3 * kDay;
const QStringList kPeerIds = {"3", "4"};

struct Entity {
    QString name;
    QString host;  // empty for a directory peer
};

// One booking as the operator made it, through its edits: an edit of an occurrence cuts the
// definition before that occurrence, and the edited one goes on from its (new) start.
struct Definition {
    QDateTime first_start;  // its seconds are the booking's tag
    QDateTime cut;          // invalid, or where an edit made the next definition take over
    int seconds = 0;        // the window's length
    Job::JobFrequency frequency = Job::Once;
    QDateTime until;  // invalid: forever
    bool is_forced = false;
    QString peer;
    int entity = -1;  // whom it is for
};

struct ModelBooking {
    std::vector<Definition> epochs;  // each from its first_start on, until the next one's
    QDateTime removed_at;            // invalid while it is booked
};

struct Occurrence {
    int booking = 0;
    QDateTime start;
    QDateTime end;
    const Definition* definition = nullptr;
};

// What the model remembers of one occurrence, by booking tag and start.
struct OccurrenceFacts {
    QDateTime last_seen_up;  // the last pass that ended with its call up while its window was open
    bool call_went = false;  // it was gone at the next pass, its window still open
    bool had_call = false;   // its call was up where the schedule could see it, its window open
    int forces = 0;          // passes in which it made room for its call
    bool is_accounted = false;
};

using OccurrenceKey = std::pair<int, qint64>;  // tag, start in seconds since the epoch

class ScheduleModel : public SchedulerFixture {
protected:
    void runSeed(unsigned seed);
    void startScheduler() {
        scheduler_ = makeScheduler();
        scheduler_->setFilePath(file_path_);
    }

    // The schedule is saved at most passes: in memory where the machine has a file system there,
    // so that a few hundred thousand passes are not as many syncs to a disk.
    QTemporaryDir file_folder_{QDir(QStringLiteral("/dev/shm")).exists()
                                   ? QStringLiteral("/dev/shm/kestrane-model-XXXXXX")
                                   : QDir::tempPath() + "/kestrane-model-XXXXXX"};
    const QString file_path_ = file_folder_.filePath(QStringLiteral("schedule.xml"));

    // ---- the world
    int addEntity(const QString& host) {
        entities_.push_back({QStringLiteral("Peer E%1").arg(entities_.size()), host});
        return static_cast<int>(entities_.size()) - 1;
    }
    QString freshHost() { return QStringLiteral("198.51.100.%1").arg(++hosts_made_); }
    void list(const QString& id, int entity) {
        FakeSessions::Codec& codec = sessions_->codec(codec_);
        under_id_[id] = entity;
        codec.names.insert(id, entities_[static_cast<size_t>(entity)].name);
        if (entities_[static_cast<size_t>(entity)].host.isEmpty()) {
            codec.addresses.remove(id);
        } else {
            codec.addresses.insert(id, entities_[static_cast<size_t>(entity)].host);
        }
    }
    void unlist(const QString& id) {
        FakeSessions::Codec& codec = sessions_->codec(codec_);
        under_id_.erase(id);
        codec.names.remove(id);
        codec.addresses.remove(id);
        codec.active.remove(id);
        codec.ringing.remove(id);
        hand_calls_.erase(id);
    }
    bool isSeen() const { return scheduler_ && sessions_->codec(codec_).is_ready; }
    // A list reaches the scheduler only while it runs and the codec is ready.
    void tellList() {
        if (!isSeen()) return;
        sessions_->tellPeerList(codec_);
        for (const QString& id : sessions_->codec(codec_).active) {
            for (const Occurrence& o : wantingOccurrences(id, now_)) facts(o).had_call = true;
        }
    }
    // A call made at the codec's panel, where its channels allow.
    void callAtPanel(const QString& id, bool is_after_taken_stop);
    // With the program's Connect or at the codec's panel.
    void callByHand(const QString& id, bool is_after_taken_stop) {
        if (operator_() % 2 == 0) {
            callByOperator(id);
        } else {
            callAtPanel(id, is_after_taken_stop);
        }
    }

    // ---- the model
    std::vector<Occurrence> occurrencesOf(int booking, const QDateTime& from, const QDateTime& to) const;
    std::vector<Occurrence> openOccurrences(const QDateTime& at) const;
    bool isWanted(const Occurrence& occurrence) const {
        const Definition& d = *occurrence.definition;
        const auto under = under_id_.find(d.peer);
        return under != under_id_.end() && under->second == d.entity;
    }
    std::vector<Occurrence> wantingOccurrences(const QString& peer, const QDateTime& at) const;
    OccurrenceFacts& facts(const Occurrence& o) {
        return facts_[{o.start.time().second(), o.start.toSecsSinceEpoch()}];
    }

    // ---- steps
    void step(std::mt19937& random);
    // The earliest start or end of an occurrence in (after, until]; invalid when none.
    QDateTime nextEdge(const QDateTime& after, const QDateTime& until) const;
    // The far end of a call an occurrence that started minutes ago wants hangs up; false when none is up.
    bool hangUpJustAfterAStart();
    // The codec leaves or comes back where the step crossed an absence's edge.
    void followAbsences(const QDateTime& was);
    // The far ends whose connect has rung long enough answer.
    void answerRinging();
    void callByOperator(const QString& id);
    // The call of the id, up or still ringing, is no longer the one the schedule dialled: the
    // schedule let it go (its booking removed) or it is another peer's now.
    void letGoOf(const QString& id) {
        if (sessions_->codec(codec_).ringing.contains(id)) let_go_ringing_.insert(id);
        schedules_up_.erase(id);
    }
    void book(std::mt19937& random, int count);
    void pass();
    // The pass's commands, every job's state and the calls up, for a failing seed.
    void notePass(const std::vector<QString>& sent);
    void closeProgram();
    void openProgram();
    // One of `peer`'s bookings where it has one; any otherwise.
    void removeBooking(std::mt19937& random, const QString& peer = QString());
    void editBooking(std::mt19937& random);
    void changePeer(std::mt19937& random);

    // ---- checks
    // `active` and `ringing`: the codec's calls as the pass began.
    void checkCommands(const std::vector<QString>& commands, QSet<QString> active, QMap<QString, int> ringing);
    std::vector<QString> checkPass(size_t before, const QSet<QString>& active, const QMap<QString, int>& ringing);
    void checkAfterPass();
    // The occurrence's booking knows its peer as the codec lists it: a rename no list showed
    // leaves its call neither made nor cut.
    bool knowsItsPeer(const Occurrence& o);
    bool isOwed(const QString& id);
    // The codec takes a connect of the id, its calls as given: it rings (anew), or is up.
    bool takesConnect(const QString& id, const QSet<QString>& active, const QMap<QString, int>& ringing) const {
        const FakeSessions::Codec& codec = sessions_->codec(codec_);
        const bool is_rung_anew = codec.rings_anew && ringing.contains(id);
        return codec.channels == 0 || is_rung_anew || active.size() + ringing.size() < codec.channels;
    }
    void accountFinished();
    void checkAllAccounted();
    void fail(const std::string& what) {
        if (failure_.empty()) failure_ = what;
    }
    void note(const QString& text) {
        steps_.push_back(QLocale::c().toString(now_, "ddd hh:mm").toStdString() + " " + text.toStdString());
    }
    // Finds the booking whose tag is the seconds of a record's start.
    int bookingOf(const QDateTime& start) const {
        const auto found = tags_.find(start.time().second());
        return found == tags_.end() ? -1 : found->second;
    }

    std::vector<Entity> entities_;
    int hosts_made_ = 0;
    QDateTime last_pass_;
    std::map<QString, int> under_id_;  // peer id -> entity
    std::vector<ModelBooking> bookings_;
    std::map<int, int> tags_;  // start seconds -> booking
    std::map<OccurrenceKey, OccurrenceFacts> facts_;
    // Ids whose call was made by hand while no booking wanted it, none having wanted it since.
    std::set<QString> hand_calls_;
    std::map<QString, int> unwanted_held_passes_;  // ready passes in a row a held call was up unwanted
    std::mt19937 far_ends_;                        // how many steps each far end takes to answer
    std::mt19937 operator_;                        // whether a call by hand is made with the program's Connect
    std::set<QString> schedules_up_;               // ids whose call up the schedule dialled or took
    std::set<QString> let_go_ringing_;             // ids whose ringing connect is no longer the schedule's
    std::set<QString> rings_known_;                // ids whose ring the schedule made or joined, the codec ready since
    QString hand_call_due_;                        // a window of this id closed on its ringing dial in the last pass
    bool is_stop_taken_ = false;                   // the codec read the stop of that dial without refusing it
    std::map<QString, int> late_passes_;           // ready passes in a row such a call was up with no window open
    std::mt19937 reads_;                           // whether the codec reads the commands of a pass at once
    bool is_read_late_ = false;                    // it read the last pass's only after this one
    std::map<QString, int> undialled_passes_;      // passes in a row a free channel's booked call was not dialled
    std::map<QString, int> dial_grace_;            // ready passes a dial read back from the file may still ring
    std::map<QString, int> dial_passes_;           // ready passes since the last connect of each id, or the load
    std::set<int> finished_ids_;                   // the job ids seen Done in this run of the program
    int missed_records_ = 0;
    int log_lines_seen_ = 0;
    bool is_open_ = true;
    QDateTime end_of_run_;
    QList<Job> saved_jobs_;                // as the program closed
    std::map<QString, bool> saved_calls_;  // held, by peer id, as the program closed
    std::vector<std::string> steps_;
    std::string failure_;
    std::vector<std::pair<QDateTime, QDateTime>> absences_;  // the codec away from, until
    bool is_after_start_ = false;                            // the last step landed a minute after a start or end
};

std::vector<Occurrence> ScheduleModel::occurrencesOf(int booking, const QDateTime& from, const QDateTime& to) const {
    std::vector<Occurrence> found;
    const ModelBooking& b = bookings_[static_cast<size_t>(booking)];
    for (const Definition& d : b.epochs) {
        const int period = d.frequency == Job::Weekly ? 7 : d.frequency == Job::Daily ? 1 : 0;
        for (int k = 0;; ++k) {
            const QDateTime start = d.first_start.addDays(static_cast<qint64>(k) * period);
            if (k > 0 && period == 0) break;
            if (start > to || (d.cut.isValid() && start >= d.cut)) break;
            // Repeat-until bounds the occurrences a series adds, not the one the operator set.
            if (k > 0 && d.until.isValid() && start > d.until) break;
            const QDateTime end = start.addSecs(d.seconds);
            if (end > from) found.push_back({booking, start, end, &d});
        }
    }
    return found;
}

std::vector<Occurrence> ScheduleModel::openOccurrences(const QDateTime& at) const {
    std::vector<Occurrence> open;
    for (size_t b = 0; b < bookings_.size(); ++b) {
        if (bookings_[b].removed_at.isValid()) continue;
        for (const Occurrence& o : occurrencesOf(static_cast<int>(b), at, at)) {
            if (o.start <= at && at < o.end) open.push_back(o);
        }
    }
    return open;
}

std::vector<Occurrence> ScheduleModel::wantingOccurrences(const QString& peer, const QDateTime& at) const {
    std::vector<Occurrence> wanting;
    for (const Occurrence& o : openOccurrences(at)) {
        if (o.definition->peer == peer && isWanted(o)) wanting.push_back(o);
    }
    return wanting;
}

// ------------------------------------------------------------------------------------------------
// Steps

void ScheduleModel::book(std::mt19937& random, int count) {
    const bool is_two_peers = random() % 2 == 0;
    std::set<int> minutes_of_day;
    for (int i = 0; i < count; ++i) {
        Definition d;
        int start = static_cast<int>(random() % (kRunMinutes * 5 / 6));
        d.seconds = 60 * (5 + static_cast<int>(random() % (25 * 60 - 4)));
        const unsigned shape = random() % 8;
        if (i > 0 && shape == 0) {  // back to back with the one before, to the minute
            const Definition& before = bookings_.back().epochs.front();
            start = static_cast<int>(base_.secsTo(before.first_start.addSecs(before.seconds)) / 60);
        }
        // Short, daily, starting a minute before the one before, for the other peer where there are
        // two: both start in one pass. Always the second booking of a one-channel codec.
        const bool is_just_before =
            i > 0 && (shape == 4 || shape == 5 || (i == 1 && sessions_->codec(codec_).channels == 1));
        if (is_just_before) {
            start = std::max(1, static_cast<int>(base_.secsTo(bookings_.back().epochs.front().first_start) / 60) - 1);
            d.seconds = 60 * (5 + static_cast<int>(random() % 10));
        }
        const bool is_forced_inside = i > 0 && shape == 2;  // forced, starting inside the window before
        if (is_forced_inside) {
            const Definition& before = bookings_.back().epochs.front();
            start = static_cast<int>(base_.secsTo(before.first_start) / 60) + 1 +
                    static_cast<int>(random() % static_cast<unsigned>(before.seconds / 60 - 1));
        }
        while (minutes_of_day.count(start % kDay)) ++start;
        minutes_of_day.insert(start % kDay);
        const int tag = 1 + i;
        d.first_start = at(start).addSecs(tag);
        if (i > 0 && shape == 1) {  // ending with the one before
            const Definition& before = bookings_.back().epochs.front();
            const QDateTime end = before.first_start.addSecs(before.seconds);
            if (end > d.first_start.addSecs(300)) d.seconds = static_cast<int>(d.first_start.secsTo(end));
        }
        const unsigned frequency = random() % 3;
        d.frequency = frequency == 0 ? Job::Once : frequency == 1 ? Job::Daily : Job::Weekly;
        if (is_just_before) d.frequency = Job::Daily;
        if (shape == 3) {  // daily, its window longer than a day: each occurrence opens inside the one before
            d.frequency = Job::Daily;
            d.seconds = 60 * (kDay + 10 + static_cast<int>(random() % 170));
        }
        if (d.frequency != Job::Once && random() % 2 == 0) {
            d.until = d.first_start.addSecs(static_cast<qint64>(random() % (3 * kDay)) * 60);
        }
        d.is_forced = is_forced_inside || random() % 4 == 0;
        d.peer = is_two_peers ? kPeerIds[static_cast<int>(random() % 2)] : kPeerIds[0];
        if (is_just_before && is_two_peers)
            d.peer = bookings_.back().epochs.front().peer == kPeerIds[0] ? kPeerIds[1] : kPeerIds[0];
        if (is_forced_inside) {
            const Definition& before = bookings_.back().epochs.front();
            if (is_two_peers) d.peer = before.peer == kPeerIds[0] ? kPeerIds[1] : kPeerIds[0];
            // The codec away across both starts, back within half an hour of the later one.
            if (random() % 2 == 0) {
                absences_.push_back({before.first_start.addSecs(-60 * (1 + static_cast<int>(random() % 30))),
                                     d.first_start.addSecs(60 * (1 + static_cast<int>(random() % 30)))});
            }
        }
        d.entity = under_id_.at(d.peer);

        Job made;
        made.start = d.first_start;
        made.end = d.first_start.addSecs(d.seconds);
        made.frequency = d.frequency;
        made.repeat_forever = d.frequency != Job::Once && !d.until.isValid();
        made.recurrence_end = d.until.isValid() ? d.until : made.end;
        made.priority = d.is_forced;
        made.uuid = codec_;
        made.peer = d.peer;
        made.id = Scheduler::nextJobId();
        sessions_->findPeer(codec_, d.peer, made.peer_name, made.peer_address);
        ASSERT_TRUE(scheduler_->addJob(made));
        bookings_.push_back({{d}, QDateTime()});
        tags_[tag] = static_cast<int>(bookings_.size()) - 1;
        note(QStringLiteral("booked %1, peer %2%3, %4 for %5 min, %6%7")
                 .arg(tag)
                 .arg(d.peer)
                 .arg(d.is_forced ? " forced" : "")
                 .arg(QLocale::c().toString(d.first_start, "ddd hh:mm:ss"))
                 .arg(d.seconds / 60)
                 .arg(Job::frequencyName(d.frequency))
                 .arg(d.until.isValid() ? " until " + QLocale::c().toString(d.until, "ddd hh:mm") : QString()));
    }
}

void ScheduleModel::closeProgram() {
    accountFinished();  // a row may follow the codec's list between passes
    saved_jobs_ = scheduler_->jobList();
    saved_calls_.clear();
    for (const QString& id : kPeerIds) saved_calls_[id] = scheduler_->holdsCall(codec_, id);
    ASSERT_TRUE(scheduler_->save());
    scheduler_.reset();
    is_open_ = false;
    finished_ids_.clear();
    note("program closed");
}

// What a booking is, as the file must keep it. A job that finishes as it is read may end its
// series there, so its frequency is compared only while it is pending.
std::string savedForm(const Job& job, bool is_pending) {
    const auto text = [](const QDateTime& when) { return when.isValid() ? when.toString(Qt::ISODate) : QString(); };
    return QStringList{text(job.start),
                       text(job.end),
                       job.peer,
                       job.peer_name,
                       job.peer_address,
                       is_pending ? Job::frequencyName(job.frequency) : QString(),
                       text(job.recurrence_end),
                       job.repeat_forever ? "forever" : "",
                       job.priority ? "forced" : "",
                       text(job.connected_at),
                       text(job.forced_at)}
        .join('|')
        .toStdString();
}

void ScheduleModel::openProgram() {
    startScheduler();
    ASSERT_TRUE(scheduler_->load());
    is_open_ = true;
    note("program opened");
    std::multiset<std::string> saved, loaded;
    std::map<QDateTime, const Job*> read_back;  // less the next occurrences that finishing added
    const QList<Job> jobs = scheduler_->jobList();
    for (const Job& job : jobs) read_back.emplace(job.start, &job);
    for (const Job& job : saved_jobs_) {
        if (job.state == Job::Done) continue;
        const auto found = read_back.find(job.start);
        const bool is_pending = found == read_back.end() || found->second->state != Job::Done;
        saved.insert(savedForm(job, is_pending));
        if (found != read_back.end()) loaded.insert(savedForm(*found->second, is_pending));
    }
    if (saved != loaded) {
        std::string both = "\n  saved:";
        for (const std::string& form : saved) both += "\n    " + form;
        both += "\n  read back:";
        for (const std::string& form : loaded) both += "\n    " + form;
        fail("the file read back other bookings than were saved" + both);
    }
    for (const QString& id : kPeerIds) {
        if (scheduler_->holdsCall(codec_, id) != saved_calls_[id])
            fail("the file read back other calls than were held");
        // A dial read back may still ring, unseen, for as long as any dial may.
        dial_grace_[id] = saved_calls_[id] ? HeldCall::kDialSettlePasses : 0;
        dial_passes_[id] = 0;
    }
    tellList();
}

void ScheduleModel::removeBooking(std::mt19937& random, const QString& peer) {
    std::vector<Job> pending, of_peer;
    for (const Job& job : scheduler_->jobList()) {
        if (job.state == Job::Done || bookingOf(job.start) < 0) continue;
        pending.push_back(job);
        if (job.peer == peer) of_peer.push_back(job);
    }
    if (!of_peer.empty()) pending = of_peer;
    if (pending.empty()) return;
    const Job& removed = pending[random() % pending.size()];
    ASSERT_TRUE(scheduler_->removeJob(removed.id));
    // A call up that only it wanted is let go, as is the operator's connect its window waited for;
    // a dial of its own still ringing stays the schedule's to stop.
    const bool is_up = sessions_->codec(codec_).active.contains(removed.peer);
    if (is_up ? !scheduler_->holdsCall(codec_, removed.peer) : removed.start > now_) letGoOf(removed.peer);
    bookings_[static_cast<size_t>(bookingOf(removed.start))].removed_at = now_;
    // Its occurrence goes with it, finished or not.
    facts_[{removed.start.time().second(), removed.start.toSecsSinceEpoch()}].is_accounted = true;
    note(QStringLiteral("removed booking %1").arg(removed.start.time().second()));
}

void ScheduleModel::editBooking(std::mt19937& random) {
    std::vector<Job> pending;
    for (const Job& job : scheduler_->jobList()) {
        if (job.state != Job::Done && bookingOf(job.start) >= 0) pending.push_back(job);
    }
    if (pending.empty()) return;
    const Job opened = pending[random() % pending.size()];
    Job edited = opened;
    const int booking = bookingOf(opened.start);
    std::vector<Definition>& epochs = bookings_[static_cast<size_t>(booking)].epochs;
    // The edit takes the booking over from the opened occurrence on, also where a later occurrence
    // of it, its window open too, was edited before: the epochs after the one it belongs to go.
    size_t epoch = 0;
    while (epoch + 1 < epochs.size() && epochs[epoch + 1].first_start <= opened.start) ++epoch;
    epochs.resize(epoch + 1);
    Definition d = epochs.back();
    QString said;
    switch (random() % 3) {
    case 0:
        edited.end = edited.start.addSecs(60 * (5 + static_cast<int>(random() % (25 * 60 - 4))));
        said = QStringLiteral("its end to %1").arg(QLocale::c().toString(edited.end, "ddd hh:mm"));
        break;
    case 1: {
        // Later, on a minute of the day no other booking starts at; the seconds stay its tag.
        std::set<int> taken;
        for (const ModelBooking& b : bookings_)
            taken.insert(b.epochs.back().first_start.time().msecsSinceStartOfDay() / 60000);
        QDateTime start = std::max(opened.start, now_).addSecs(60 * (1 + static_cast<int>(random() % 600)));
        start =
            QDateTime(start.date(), QTime(start.time().hour(), start.time().minute(), opened.start.time().second()));
        while (taken.count(start.time().msecsSinceStartOfDay() / 60000)) start = start.addSecs(60);
        edited.start = start;
        edited.end = start.addSecs(opened.start.secsTo(opened.end));
        said = QStringLiteral("to start %1").arg(QLocale::c().toString(start, "ddd hh:mm"));
        break;
    }
    default: {
        const QString other = opened.peer == "3" ? "4" : "3";
        if (!under_id_.count(other)) return;
        edited.peer = other;
        sessions_->findPeer(codec_, other, edited.peer_name, edited.peer_address);
        d.peer = other;
        d.entity = under_id_.at(other);
        said = QStringLiteral("to peer %1").arg(other);
        break;
    }
    }
    // The occurrence edited goes on under the new definition; one with a new start or peer is new.
    epochs.back().cut = opened.start;
    d.first_start = edited.start;
    d.seconds = static_cast<int>(edited.start.secsTo(edited.end));
    d.cut = QDateTime();
    epochs.push_back(d);
    if (opened.end <= now_ && edited.end > now_ && edited.start == opened.start && edited.peer == opened.peer) {
        // Its window opened again after its end: it wants its call again.
        facts_.erase({opened.start.time().second(), opened.start.toSecsSinceEpoch()});
    }
    if (edited.start != opened.start || edited.peer != opened.peer) {
        // Its occurrences from the opened one on are new ones.
        const int tag = opened.start.time().second();
        for (auto it = facts_.begin(); it != facts_.end();) {
            const bool is_new = it->first.first == tag && it->first.second >= opened.start.toSecsSinceEpoch();
            it = is_new ? facts_.erase(it) : std::next(it);
        }
    }
    note(QStringLiteral("edited booking %1 %2").arg(opened.start.time().second()).arg(said));
    const QSet<QString> active = sessions_->codec(codec_).active;
    const QMap<QString, int> ringing = sessions_->codec(codec_).ringing;
    const size_t before = sessions_->sent.size();
    QString refusal;
    if (!scheduler_->applyEdit(edited, false, &refusal)) {
        fail("an edit was refused: " + refusal.toStdString());
        return;
    }
    // The pass the edit runs is checked as a pass.
    checkPass(before, active, ringing);
    if (sessions_->sent.size() > before) tellList();
}

void ScheduleModel::changePeer(std::mt19937& random) {
    const QString id = kPeerIds[static_cast<int>(random() % 2)];
    if (!under_id_.count(id)) {
        list(id, addEntity(freshHost()));
        note(QStringLiteral("peer %1 listed as %2").arg(id, entities_.back().name));
        tellList();
        return;
    }
    Entity& entity = entities_[static_cast<size_t>(under_id_.at(id))];
    FakeSessions::Codec& codec = sessions_->codec(codec_);
    switch (random() % 4) {
    case 0: {  // renamed at its own host, by anyone
        const QStringList was = {id, entity.name, entity.host};
        entity.name += "'";
        list(id, under_id_.at(id));
        note(QStringLiteral("peer %1 renamed %2%3").arg(id, entity.name, isSeen() ? "" : " unseen"));
        Q_UNUSED(was);
        tellList();
        break;
    }
    case 1: {  // the operator's own rename, to another host: only a running program sends one
        if (!isSeen()) return;
        const QStringList was = {id, entity.name, entity.host};
        entity.name += " (ours)";
        entity.host = freshHost();
        list(id, under_id_.at(id));
        codec.sent_renames.append({was, {id, entity.name, entity.host}});
        note(QStringLiteral("peer %1 renamed by the operator to %2 at %3").arg(id, entity.name, entity.host));
        tellList();
        codec.sent_renames.clear();
        break;
    }
    case 2: {  // another client moves it to another host: another far end
        letGoOf(id);
        const QString name = entity.name;
        const int moved = addEntity(freshHost());  // `entity` may move
        entities_.back().name = name;
        list(id, moved);
        note(QStringLiteral("peer %1 moved to %2 by another client%3")
                 .arg(id, entities_.back().host, isSeen() ? "" : " unseen"));
        tellList();
        break;
    }
    default: {  // its id given to another peer: at the same host only where a list shows the gap
        letGoOf(id);
        const QString host = isSeen() && random() % 2 == 0 ? entity.host : freshHost();
        unlist(id);
        tellList();
        list(id, addEntity(host));
        note(QStringLiteral("peer %1 given to %2 at %3%4")
                 .arg(id, entities_.back().name, host, isSeen() ? "" : " unseen"));
        tellList();
        break;
    }
    }
}

void ScheduleModel::pass() {
    const QSet<QString> active = sessions_->codec(codec_).active;
    const QMap<QString, int> ringing = sessions_->codec(codec_).ringing;
    const size_t before = sessions_->sent.size();
    scheduler_->tick();
    const std::vector<QString> sent = checkPass(before, active, ringing);
    const auto is_sent = [&sent](const QString& command) { return std::count(sent.begin(), sent.end(), command) > 0; };
    const FakeSessions::Codec& codec = sessions_->codec(codec_);
    const bool is_free = codec.channels == 1 && codec.is_ready && active.isEmpty() && ringing.isEmpty();
    for (const QString& id : kPeerIds) {
        int& grace = dial_grace_[id];
        if (codec.is_ready && grace > 0) --grace;
        int& passes = undialled_passes_[id];
        passes = is_free && grace == 0 && !is_sent("connect " + id) && isOwed(id) ? passes + 1 : 0;
        if (passes >= 3) fail("a free channel with a booked call not dialled for 3 passes: " + id.toStdString());
    }
    // The codec reads the commands, answers its refusals, and reports what they did, as it does
    // after every change of its calls; now and then only after the next pass.
    const bool reads = !codec.tells_reads || std::exchange(is_read_late_, false) || reads_() % 8 != 0;
    is_read_late_ = !reads;
    for (const QString& id : ringing.keys()) {
        if (!rings_known_.count(id) || !wantingOccurrences(id, now_).empty()) continue;
        hand_call_due_ = id;
        is_stop_taken_ = reads && codec.tells_reads && codec.is_ready && is_sent("disconnect " + id);
    }
    if (reads) {
        // The dials the pass held back behind an unread connect go as the codec reads it.
        const size_t read_from = sessions_->sent.size();
        const QSet<QString> active_as_read = codec.active;
        const QMap<QString, int> ringing_as_read = codec.ringing;
        sessions_->tellRefusals();
        const std::vector<QString> as_read(sessions_->sent.begin() + static_cast<long>(read_from),
                                           sessions_->sent.end());
        if (!as_read.empty())
            note("as the codec read them: [" + QStringList(as_read.begin(), as_read.end()).join("; ") + "]");
        checkCommands(as_read, active_as_read, ringing_as_read);
    } else {
        note("the codec reads them after the next pass");
    }
    if (sessions_->sent.size() > before) tellList();
}

std::vector<QString> ScheduleModel::checkPass(size_t before, const QSet<QString>& active,
                                              const QMap<QString, int>& ringing) {
    const std::vector<QString> sent(sessions_->sent.begin() + static_cast<long>(before), sessions_->sent.end());
    if (sessions_->codec(codec_).is_ready) {
        for (const QString& id : kPeerIds) ++dial_passes_[id];
    }
    notePass(sent);
    checkCommands(sent, active, ringing);
    checkAfterPass();
    return sent;
}

void ScheduleModel::notePass(const std::vector<QString>& sent) {
    QStringList states;
    for (const Job& job : scheduler_->jobList()) {
        states.append(QStringLiteral("%1:%2").arg(job.start.time().second()).arg(Job::stateName(job.state)) +
                      (job.warning.isEmpty() ? QString() : " (" + job.warning + ")"));
    }
    QStringList active = sessions_->codec(codec_).active.values();
    active.sort();
    note("pass [" + QStringList(sent.begin(), sent.end()).join("; ") + "] " + states.join(" | ") +
         "; calls up: " + active.join(","));
}

QDateTime ScheduleModel::nextEdge(const QDateTime& after, const QDateTime& until) const {
    QDateTime first;
    for (size_t b = 0; b < bookings_.size(); ++b) {
        if (bookings_[b].removed_at.isValid()) continue;
        for (const Occurrence& o : occurrencesOf(static_cast<int>(b), after, until)) {
            for (const QDateTime& edge : {o.start, o.end}) {
                if (edge > after && edge <= until && (!first.isValid() || edge < first)) first = edge;
            }
        }
    }
    return first;
}

bool ScheduleModel::hangUpJustAfterAStart() {
    FakeSessions::Codec& codec = sessions_->codec(codec_);
    for (const Occurrence& o : openOccurrences(now_)) {
        const QString& id = o.definition->peer;
        if (o.start.secsTo(now_) > 10 * 60 || !codec.active.contains(id)) continue;
        codec.active.remove(id);
        hand_calls_.erase(id);
        note(QStringLiteral("far end of %1 hung up just after a start").arg(id));
        tellList();
        return true;
    }
    return false;
}

void ScheduleModel::followAbsences(const QDateTime& was) {
    FakeSessions::Codec& codec = sessions_->codec(codec_);
    for (const auto& [from, until] : absences_) {
        if (was < from && from <= now_ && codec.is_ready) {
            sessions_->tellLeftReady(codec_);
            rings_known_.clear();
            note("codec away across starts");
        }
        if (was < until && until <= now_ && !codec.is_ready) {
            codec.is_ready = true;
            note("codec back");
            tellList();
        }
    }
}

void ScheduleModel::answerRinging() {
    FakeSessions::Codec& codec = sessions_->codec(codec_);
    const QSet<QString> was_up = codec.active;
    if (!sessions_->answerRinging(codec_)) return;
    for (const QString& id : kPeerIds) {
        if (!codec.active.contains(id) || was_up.contains(id)) continue;
        if (!let_go_ringing_.erase(id)) schedules_up_.insert(id);
        note(QStringLiteral("far end of %1 answered").arg(id));
    }
    tellList();
}

void ScheduleModel::callByOperator(const QString& id) {
    // The program's Connect: only while it runs and the codec is ready.
    if (!isSeen() || !under_id_.count(id) || sessions_->codec(codec_).active.contains(id)) return;
    // Nor while the codec has the last pass's commands unread: a session pairs a refusal by the
    // reads told behind each command, where FakeSessions knows only what came since it last told.
    if (is_read_late_) return;
    // A window of its peer opening within a dial's bound waits for this connect, and takes its call.
    const QDateTime bound = now_.addMSecs(qint64{HeldCall::kDialSettlePasses} * Scheduler::kTickMs);
    const std::vector<Occurrence> opening = wantingOccurrences(id, bound);
    const bool opens_soon =
        std::any_of(opening.begin(), opening.end(), [this](const Occurrence& o) { return o.start > now_; });
    const bool is_unwanted = wantingOccurrences(id, now_).empty() && !opens_soon;
    if (is_unwanted) hand_calls_.insert(id);
    const FakeSessions::Codec& codec = sessions_->codec(codec_);
    const bool is_taken = takesConnect(id, codec.active, codec.ringing);
    sessions_->operatorConnect(codec_, id);
    note(QStringLiteral("peer %1 connected by the operator").arg(id));
    // It joins a booking whose window is open; otherwise what comes up is the operator's alone.
    const bool is_joined = scheduler_->holdsCall(codec_, id);
    if (is_joined && is_unwanted) fail("the operator's call of " + id.toStdString() + " taken with no window open");
    (is_joined ? rings_known_ : let_go_ringing_).insert(id);
    (is_joined ? let_go_ringing_ : rings_known_).erase(id);
    if (is_joined && is_taken) dial_passes_[id] = 0;  // the window's dial from now on
}

void ScheduleModel::step(std::mt19937& random) {
    const QDateTime was = now_;
    if (!hand_call_due_.isEmpty() && operator_() % 4 != 0) {
        // The booked call did not come: the operator calls the studio by hand, a minute or two on,
        // with the program's Connect or at the codec's panel.
        now_ = now_.addSecs(60 * (1 + static_cast<int>(operator_() % 2)));
        followAbsences(was);
        answerRinging();
        callByHand(std::exchange(hand_call_due_, QString()), is_stop_taken_);
        if (is_open_ && failure_.empty()) pass();
        return;
    }
    hand_call_due_.clear();
    const bool is_after_start = is_after_start_;
    is_after_start_ = false;
    if (is_after_start) {
        // Right behind a pass that saw an occurrence's first minutes.
        now_ = now_.addSecs(60 * (1 + static_cast<int>(random() % 3)));
    } else {
        now_ = now_.addSecs(60 * (1 + static_cast<int>(random() % 40)));
        // Often the pass just after a start, where a window opens inside another, or just after an
        // end, where it closes on a dial still ringing.
        const QDateTime edge = nextEdge(was, now_);
        if (edge.isValid() && random() % 2 == 0) {
            now_ = edge.addSecs(60);
            is_after_start_ = true;
        }
    }
    followAbsences(was);
    answerRinging();
    FakeSessions::Codec& codec = sessions_->codec(codec_);
    if (is_after_start && random() % 2 == 0 && hangUpJustAfterAStart()) {
        if (is_open_ && failure_.empty()) pass();
        return;
    }
    const unsigned event = random() % 100;
    if (event < 3) {
        if (is_open_) {
            closeProgram();
        } else {
            openProgram();
        }
    } else if (event < 6) {
        if (codec.is_ready) {
            sessions_->tellLeftReady(codec_);
            rings_known_.clear();
            note("codec away");
        } else {
            codec.is_ready = true;
            note("codec back");
            tellList();
        }
    } else if (event < 11 && !codec.active.isEmpty()) {
        QStringList up = codec.active.values();
        up.sort();  // not in the set's order, which changes from run to run
        const QString id = up[static_cast<int>(random() % up.size())];
        if (isSeen() && operator_() % 3 == 0) {
            sessions_->operatorDisconnect(codec_, id.toInt());
            note(QStringLiteral("peer %1 disconnected by the operator").arg(id));
        } else {
            codec.active.remove(id);
            note(QStringLiteral("far end of %1 hung up").arg(id));
        }
        hand_calls_.erase(id);
        tellList();
    } else if (event < 15) {
        callByHand(kPeerIds[static_cast<int>(random() % 2)], false);
    } else if (event < 17 && is_open_) {
        removeBooking(random);
    } else if (event < 20 && is_open_) {
        editBooking(random);
    } else if (event < 24) {
        changePeer(random);
    } else if (event >= 90 && is_open_ && !codec.ringing.isEmpty()) {
        // While a dial rings: the program restarts, or the booking that dialled it goes.
        if (event < 95) {
            closeProgram();
            openProgram();
        } else {
            removeBooking(random, codec.ringing.firstKey());
        }
    }
    if (is_open_ && failure_.empty()) pass();
}

void ScheduleModel::callAtPanel(const QString& id, bool is_after_taken_stop) {
    FakeSessions::Codec& codec = sessions_->codec(codec_);
    const int busy =
        static_cast<int>(codec.active.size() + codec.ringing.size()) - (codec.ringing.contains(id) ? 1 : 0);
    if (!under_id_.count(id) || codec.active.contains(id) || (codec.channels > 0 && busy >= codec.channels)) return;
    codec.active.insert(id);
    // Where the schedule could not see its own call go, or its dial may still come up, a call made
    // by hand in its place cannot be told from it; after a stop the codec took, it can.
    const bool holds = is_open_ ? scheduler_->holdsCall(codec_, id) : saved_calls_[id];
    if (wantingOccurrences(id, now_).empty() && (!holds || is_after_taken_stop)) hand_calls_.insert(id);
    codec.ringing.remove(id);  // the operator's call is up: no connect rings any more
    note(QStringLiteral("peer %1 called at the panel%2").arg(id, is_after_taken_stop ? " after a stop it took" : ""));
    tellList();
}

// ------------------------------------------------------------------------------------------------
// Checks

void ScheduleModel::checkCommands(const std::vector<QString>& commands, QSet<QString> active,
                                  QMap<QString, int> ringing) {
    // A call up at the last pass in an open window, and gone as this one begins, went in that window.
    if (sessions_->codec(codec_).is_ready) {
        for (const QString& id : kPeerIds) {
            // Up as the pass began, it is the call of the windows open (a force may end it now).
            for (const Occurrence& o : wantingOccurrences(id, now_)) facts(o).had_call |= active.contains(id);
            if (active.contains(id)) continue;
            for (const Occurrence& o : wantingOccurrences(id, now_)) {
                if (facts(o).last_seen_up.isValid() && facts(o).last_seen_up == last_pass_) facts(o).call_went = true;
            }
        }
    }
    // The forced occurrences that may make their room in this pass: open, wanted, not yet forced.
    std::vector<Occurrence> may_force;
    for (const Occurrence& o : openOccurrences(now_)) {
        if (o.definition->is_forced && isWanted(o) && facts(o).forces == 0) may_force.push_back(o);
    }
    std::set<OccurrenceKey> forcing;
    const auto force = [&](const QString& own_peer, bool needs_own_call_up) {
        bool any = false;
        for (const Occurrence& o : may_force) {
            if (o.definition->peer != own_peer || (needs_own_call_up && !active.contains(own_peer))) continue;
            forcing.insert({o.start.time().second(), o.start.toSecsSinceEpoch()});
            any = true;
        }
        return any;
    };
    std::set<QString> made;  // in this pass: a far end must not hear a call come and go
    for (size_t i = 0; i < commands.size(); ++i) {
        const QStringList words = commands[i].split(' ');
        const QString& id = words.value(1);
        const bool is_disconnect_all = words.size() == 1;
        if (words[0] == "disconnect" && (is_disconnect_all ? !made.empty() : made.count(id) > 0)) {
            fail("a call made and ended in one pass");
        }
        if (words[0] == "connect") {
            // Within its bound, that is: a far end slower than that is called again.
            if (ringing.contains(id) && rings_known_.count(id) && dial_passes_[id] < HeldCall::kDialSettlePasses)
                fail("a connect re-sent while its dial rings: " + id.toStdString());
            // A connect a full codec refuses leaves what rings as it was, and whose it is; one it
            // takes is the schedule's dial: a call that comes up is the schedule's.
            if (takesConnect(id, active, ringing)) {
                rings_known_.insert(id);
                dial_passes_[id] = 0;
                let_go_ringing_.erase(id);
            }
            made.insert(id);
            if (active.contains(id)) fail("connect " + id.toStdString() + " into a call that is up");
            const std::vector<Occurrence> wanting = wantingOccurrences(id, now_);
            if (wanting.empty()) fail("connect " + id.toStdString() + " that no booking of its peer wants");
            bool is_owed = false;
            for (const Occurrence& o : wanting) is_owed = is_owed || !facts(o).call_went;
            if (!wanting.empty() && !is_owed)
                fail("connect " + id.toStdString() + " again in a window whose call came and went");
            active.insert(id);
        } else if (words.size() == 1) {
            // The force's own connect follows, after the releases of the pass.
            QString next;
            for (size_t j = i + 1; j < commands.size() && next.isEmpty(); ++j) {
                if (commands[j].startsWith("connect ")) next = commands[j].split(' ').value(1);
            }
            if (active.contains(next)) fail("a force cut its own peer's call " + next.toStdString());
            if (!force(next, false))
                fail("a disconnect-all no forced booking owed, before connect " + next.toStdString());
            active.clear();
            ringing.clear();
        } else {
            const bool is_wanted = !wantingOccurrences(id, now_).empty();
            const bool is_hand_call = hand_calls_.count(id) > 0;
            if (is_wanted || is_hand_call) {
                bool is_forced = false;
                for (const QString& own : kPeerIds) {
                    if (own != id) is_forced = force(own, true) || is_forced;
                }
                if (!is_forced) {
                    fail("disconnect " + id.toStdString() +
                         (is_wanted ? " while a booking wants it" : ": a call made by hand ended by the schedule"));
                }
            }
            active.remove(id);
            ringing.remove(id);
        }
    }
    for (const OccurrenceKey& key : forcing) {
        if (++facts_[key].forces > 1) fail("an occurrence forced twice");
    }
}

void ScheduleModel::checkAfterPass() {
    const FakeSessions::Codec& codec = sessions_->codec(codec_);
    for (const QString& id : kPeerIds) {
        const std::vector<Occurrence> wanting = wantingOccurrences(id, now_);
        if (!wanting.empty()) hand_calls_.erase(id);
        // What the schedule could see: a call up while the codec was ready.
        for (const Occurrence& o : wanting) {
            if (!codec.is_ready || !codec.active.contains(id)) continue;
            facts(o).last_seen_up = now_;
            facts(o).had_call = true;
            if (knowsItsPeer(o)) schedules_up_.insert(id);
        }
        // One pass of grace for the codec's answer.
        const bool is_unwanted_up =
            codec.is_ready && scheduler_->holdsCall(codec_, id) && codec.active.contains(id) && wanting.empty();
        int& passes = unwanted_held_passes_[id];
        passes = is_unwanted_up ? passes + 1 : 0;
        if (passes > 1) fail("the schedule holds the call of " + id.toStdString() + " up while no booking wants it");
        if (!codec.active.contains(id)) schedules_up_.erase(id);
        const bool is_late_up = codec.is_ready && schedules_up_.count(id) && wanting.empty();
        int& late = late_passes_[id];
        late = is_late_up ? late + 1 : 0;
        if (late >= 3) fail("a call left up after every booking of it ended: " + id.toStdString());
    }
    accountFinished();
    last_pass_ = now_;
}

bool ScheduleModel::knowsItsPeer(const Occurrence& o) {
    const FakeSessions::Codec& codec = sessions_->codec(codec_);
    const QString& id = o.definition->peer;
    const QList<Job> jobs = scheduler_->jobList();
    return std::any_of(jobs.begin(), jobs.end(), [&](const Job& job) {
        return job.start == o.start && job.state != Job::Done && job.peer == id &&
               job.peer_name == codec.names.value(id) && job.peer_address == codec.addresses.value(id);
    });
}

bool ScheduleModel::isOwed(const QString& id) {
    for (const Occurrence& o : wantingOccurrences(id, now_)) {
        if (!facts(o).had_call && !facts(o).is_accounted && knowsItsPeer(o)) return true;
    }
    return false;
}

void ScheduleModel::accountFinished() {
    for (const Job& job : scheduler_->jobList()) {
        if (job.state != Job::Done || finished_ids_.count(job.id)) continue;
        finished_ids_.insert(job.id);
        const int booking = bookingOf(job.start);
        if (booking < 0) continue;
        OccurrenceFacts& f = facts_[{job.start.time().second(), job.start.toSecsSinceEpoch()}];
        if (f.is_accounted) fail("an occurrence finished twice");
        f.is_accounted = true;
        const bool is_missed = job.warning.startsWith("missed: ");
        if (is_missed) ++missed_records_;
        if (!is_missed && !job.hasHadCall()) fail("an occurrence finished without its call and without a missed line");
    }
    // Each occurrence that passed unseen is named by a line of its own.
    static const QRegularExpression kPassed(
        "missed: its occurrence at (?:(\\d{4}-\\d\\d-\\d\\d) )?(\\d\\d:\\d\\d) passed");
    const QStringList& log = sessions_->codec(codec_).log;
    for (; log_lines_seen_ < log.size(); ++log_lines_seen_) {
        const QRegularExpressionMatch match = kPassed.match(log[log_lines_seen_]);
        if (!match.hasMatch()) continue;
        const QDate date =
            match.captured(1).isEmpty() ? now_.date() : QDate::fromString(match.captured(1), Qt::ISODate);
        const QTime minute = QTime::fromString(match.captured(2), "hh:mm");
        bool is_found = false;
        for (size_t b = 0; b < bookings_.size() && !is_found; ++b) {
            for (const Occurrence& o : occurrencesOf(static_cast<int>(b), base_, end_of_run_)) {
                if (o.start.date() != date || o.start.time().hour() != minute.hour() ||
                    o.start.time().minute() != minute.minute()) {
                    continue;
                }
                OccurrenceFacts& f = facts(o);
                if (f.is_accounted) fail("an occurrence accounted twice by a passed line");
                f.is_accounted = true;
                is_found = true;
                break;
            }
        }
        if (!is_found) fail("a passed line names no occurrence: " + log[log_lines_seen_].toStdString());
    }
}

void ScheduleModel::checkAllAccounted() {
    accountFinished();  // a row may follow the codec's list after the last pass
    int missed_lines = 0;
    for (const QString& line : sessions_->codec(codec_).log) {
        if (line.contains(" missed: ") && !line.contains(" missed: its occurrence at ")) ++missed_lines;
    }
    if (missed_lines != missed_records_) {
        fail("missed lines " + std::to_string(missed_lines) + " for " + std::to_string(missed_records_) +
             " missed occurrences");
    }
    // Still pending at the end: an occurrence whose end has passed keeps its series from going on.
    std::set<int> stalled;
    for (const Job& job : scheduler_->jobList()) {
        if (job.state != Job::Done && job.end <= now_ && bookingOf(job.start) >= 0)
            stalled.insert(bookingOf(job.start));
    }
    for (size_t b = 0; b < bookings_.size(); ++b) {
        if (stalled.count(static_cast<int>(b))) continue;
        const QDateTime removed_at = bookings_[b].removed_at;
        for (const Occurrence& o : occurrencesOf(static_cast<int>(b), base_, now_)) {
            if (o.end > now_ || (removed_at.isValid() && o.end > removed_at)) continue;
            if (!facts(o).is_accounted) {
                fail("the occurrence of booking " + std::to_string(o.start.time().second()) + " at " +
                     QLocale::c().toString(o.start, "ddd hh:mm").toStdString() + " got no call and no missed line");
            }
        }
    }
}

void ScheduleModel::runSeed(unsigned seed) {
    std::mt19937 random(seed);
    sessions_->codecs.clear();
    codec_ = sessions_->add();
    sessions_->codec(codec_).follows = true;
    sessions_->codec(codec_).slow = {kPeerIds[0], kPeerIds[1]};
    sessions_->codec(codec_).rings_anew = seed % 2 == 0;
    sessions_->codec(codec_).channels = seed % 4 >= 2 ? 1 : 0;
    sessions_->codec(codec_).are_refusals_unpaired = seed % 4 >= 2;
    sessions_->codec(codec_).tells_reads = seed % 8 != 1;
    // Every third run, peer 4's far end is slower than most windows, within what the schedule waits;
    // in a sixth of the others, slower than that, on a codec that rings anew.
    const QString slow_peer = seed % 3 == 0 || seed % 6 == 4 ? kPeerIds[1] : QString();
    const int quickest = seed % 3 == 0 ? 4 : HeldCall::kDialSettlePasses;
    const unsigned spread = seed % 3 == 0 ? 4 : 6;
    sessions_->codec(codec_).ring_steps = [this, slow_peer, quickest, spread](const QString& peer) {
        return peer == slow_peer ? quickest + static_cast<int>(far_ends_() % spread)
                                 : 1 + static_cast<int>(far_ends_() % 3);
    };
    entities_.clear();
    hosts_made_ = 0;
    last_pass_ = QDateTime();
    under_id_.clear();
    bookings_.clear();
    tags_.clear();
    facts_.clear();
    hand_calls_.clear();
    unwanted_held_passes_.clear();
    far_ends_.seed(seed);
    operator_.seed(seed);
    reads_.seed(seed);
    is_read_late_ = false;
    undialled_passes_.clear();
    dial_grace_.clear();
    dial_passes_.clear();
    is_stop_taken_ = false;
    schedules_up_.clear();
    let_go_ringing_.clear();
    rings_known_.clear();
    hand_call_due_.clear();
    late_passes_.clear();
    absences_.clear();
    is_after_start_ = false;
    finished_ids_.clear();
    missed_records_ = log_lines_seen_ = 0;
    is_open_ = true;
    steps_.clear();
    failure_.clear();
    now_ = base_;
    end_of_run_ = at(kRunMinutes + 2 * kDay);
    QFile::remove(file_path_);
    list("3", addEntity("192.0.2.13"));
    list("4", addEntity(random() % 5 == 0 ? QString() : QStringLiteral("192.0.2.14")));
    startScheduler();
    book(random, 2 + static_cast<int>(random() % 3));
    pass();
    while (failure_.empty() && now_ < at(kRunMinutes)) step(random);
    // The end: the program runs and the codec is back, so that every occurrence can be told.
    if (failure_.empty() && !is_open_) openProgram();
    if (failure_.empty() && !sessions_->codec(codec_).is_ready) {
        sessions_->codec(codec_).is_ready = true;
        tellList();
    }
    if (failure_.empty()) pass();
    if (failure_.empty()) checkAllAccounted();
    if (failure_.empty()) return;
    std::ostringstream steps;
    for (const std::string& line : steps_) steps << "\n  " << line;
    ADD_FAILURE() << "seed " << seed << " (MODEL_SEED=" << seed << " runs it alone): " << failure_ << " ("
                  << QLocale::c().toString(now_, "ddd hh:mm").toStdString() << ")" << steps.str();
}

TEST_F(ScheduleModel, EveryPassMatchesThePlan) {
    int failed = 0;
    // MODEL_SEED=<n> runs that seed alone, to follow a failure.
    const unsigned only = qEnvironmentVariableIntValue("MODEL_SEED");
    for (unsigned seed = only ? only : 1; seed <= (only ? only : kSeeds) && failed < 3; ++seed) {
        runSeed(seed);
        if (!failure_.empty()) ++failed;
        messages_.clear();
    }
}

}  // namespace
