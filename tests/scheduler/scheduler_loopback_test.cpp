// The scheduler against a simulated codec on loopback, on a fake clock: what the codec receives,
// what the schedule file keeps, and what the window and the codec's log show.
#include <gtest/gtest.h>

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ipc/base/ipc_mutex_guard.h"
#include "scheduler/schedule_window.h"
#include "scheduler/scheduler.h"
#include "scheduler/session_adaptor.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_manager.h"
#include "sessions/session_meta_types.h"
#include "sessions/session_requests.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/qt_wait.h"
#include "tests/support/session_pool_fixture.h"
#include "tests/support/wait_until.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

using test_support::wait_processing_events;

class SchedulerLoopback : public test_support::SessionPoolFixture {
protected:
    void SetUp() override {
        register_session_meta_types();
        SessionPoolFixture::SetUp();
        CodecSimOptions options;
        options.count = codec_index_ + 1;
        options.record_path = folder_.filePath("frames.txt").toStdString();
        options.refused_requests = refused_requests_;
        options.answer_after_ms = answer_after_ms_;
        options.panel_call_after_stop_ms = panel_call_after_stop_ms_;
        start_fleet(options);

        session_ = place_session();
        connect_to_fleet(*session_, codec_index_);
        ASSERT_TRUE(waitReady());
        {
            std::lock_guard<SessionMutex> lock(session_->mutex());
            ASSERT_FALSE(session_->bookPeers.isEmpty());
            peer_ = session_->bookPeers.front()->id;
            peer_name_ = session_->bookPeers.front()->name;
        }
        scheduler_ = makeScheduler();
    }

    // The id of the codec's address-book peer at `index`; empty when it has none there.
    QString bookPeerId(int index) const {
        std::lock_guard<SessionMutex> lock(session_->mutex());
        return index < session_->bookPeers.size() ? session_->bookPeers.at(index)->id : QString();
    }

    // As the program makes it at start-up, on the same file and codec.
    std::unique_ptr<Scheduler> makeScheduler() {
        auto scheduler = std::make_unique<Scheduler>();
        scheduler->stopTimer();
        scheduler->setClock([this] { return now_; });
        scheduler->setFilePath(folder_.filePath("schedule.xml"));
        scheduler->setSessions(std::make_shared<SessionAdaptor>(
            [this](const QUuid& key) { return key == session_->uuid ? session_.data() : nullptr; },
            [this] { return QList<IPCObject*>{session_.data()}; }));
        return scheduler;
    }

    // Kestrane started again at `minutes`: a new scheduler loads the file.
    void restartAt(int minutes) {
        now_ = at(minutes);
        scheduler_ = makeScheduler();
        ASSERT_TRUE(scheduler_->load());
    }

    bool waitReady() {
        return wait_processing_events([this] {
            if (session_->state() != IQEndpointClient::READY) return false;
            std::lock_guard<SessionMutex> lock(session_->mutex());
            return session_->activePeerCount >= 0;
        });
    }

    // A job for the first address-book peer, by default from minute 1 to minute 2, as the job
    // dialog makes it (knowing its peer's name and address) or, `is_old_form`, as older files held it.
    Job makeJob(int start = 1, int end = 2, bool is_old_form = false) const {
        Job job;
        job.start = at(start);
        job.end = at(end);
        job.recurrence_end = job.end;
        job.uuid = session_->uuid;
        job.host = session_->host;
        job.port = session_->port;
        job.peer = peer_;
        job.id = Scheduler::nextJobId();
        if (!is_old_form) scheduler_->sessions().findPeer(job.uuid, job.peer, job.peer_name, job.peer_address);
        return job;
    }
    void addJob(bool is_forced) {
        Job job = makeJob();
        job.priority = is_forced;
        ASSERT_TRUE(scheduler_->addJob(job));
    }
    void writeFile(const Job& job) const {
        Message root;
        root.set_name("jobs");
        job.toMessage(root.add_child("job"));
        root.write_to_file(Message::XML, folder_.filePath("schedule.xml").toStdString());
    }
    QString fileText() const {
        QFile file(folder_.filePath("schedule.xml"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QString lastLogLine() const { return session_->deviceLog.lines().value(0).text; }
    // The Peer and Status columns of a row of the Scheduled Connections window, opened now.
    std::string shownJob(int index = 0) {
        ScheduleWindow window(*scheduler_);
        window.addJobEntries(scheduler_->jobList());
        window.refreshEntries();
        const QTreeWidgetItem* row = window.findChild<QTreeWidget*>("jobTable")->topLevelItem(index);
        return (row->text(3) + " | " + row->text(4)).toStdString();
    }
    // The number of refusals of `request` the session has raised since the call.
    std::shared_ptr<int> countRefusals(const QString& request) {
        auto count = std::make_shared<int>(0);
        QObject::connect(session_.data(), &IPCObject::requestFailed, [count, request](QUuid, const QString& refused) {
            if (refused == request || refused.isEmpty()) ++*count;
        });
        return count;
    }

    QDateTime at(int minutes) const { return base_.addSecs(minutes * 60); }
    void tickAt(int minutes) {
        now_ = at(minutes);
        scheduler_->tick();
    }
    Job::JobState state() const { return scheduler_->jobList().front().state; }

    // The "connect" and "disconnect" frames the codec received, as "connect id=3", in order.
    std::vector<std::string> commands() const {
        std::vector<std::string> found;
        QFile file(folder_.filePath("frames.txt"));
        if (!file.open(QIODevice::ReadOnly)) return found;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const int frame_at = line.indexOf(' ', line.indexOf(' ') + 1) + 1;
            if (frame_at <= 0) continue;
            Message frame(line.mid(frame_at).toStdString());
            if (frame.name() != "connect" && frame.name() != "disconnect") continue;
            const std::string id = frame.attributes().get_string("id", "");
            found.push_back(frame.name() + (id.empty() ? "" : " id=" + id));
        }
        return found;
    }

    bool waitCommands(size_t count) {
        return test_support::wait_until([&] { return commands().size() >= count; }) && commands().size() == count;
    }

    bool waitPeerActive(bool is_active,
                        std::chrono::milliseconds deadline = test_support::give_up_after(std::chrono::seconds(10))) {
        return waitPeerActive(peer_, is_active, deadline);
    }
    bool waitPeerActive(const QString& peer, bool is_active,
                        std::chrono::milliseconds deadline = test_support::give_up_after(kFarEndDeadline)) {
        return wait_processing_events(
            [&] {
                std::lock_guard<SessionMutex> lock(session_->mutex());
                return session_->activePeerIds.contains(peer.toInt()) == is_active;
            },
            deadline);
    }
    // Until the codec has answered what was sent after its last command of this kind.
    bool waitRead(CodecSessions::Command command) {
        return wait_processing_events([&] { return !scheduler_->sessions().isUnread(session_->uuid, command); });
    }

    // Past a slow far end's answer, also on a loaded or sanitized machine.
    static constexpr std::chrono::seconds kFarEndDeadline{30};
    std::set<std::string> refused_requests_;  // by the codec, from the start
    int64_t answer_after_ms_ = 0;             // the far ends' answer to a connect; 0: at once
    int64_t panel_call_after_stop_ms_ = 0;    // the codec's panel calls a peer whose dial was stopped
    int codec_index_ = 0;  // in the fleet: 0 has one channel and no call; 1 two channels, one in a call
    QTemporaryDir folder_;
    QPointer<IPCObject> session_;
    QString peer_;
    QString peer_name_;
    const QDateTime base_{QDate(2024, 5, 6), QTime(12, 0)};
    QDateTime now_ = base_;
    std::unique_ptr<Scheduler> scheduler_;
    test_support::CapturedQtMessages messages_;
};

TEST_F(SchedulerLoopback, ConnectsAtTheStartAndDisconnectsAtTheEnd) {
    addJob(false);
    const std::string id = " id=" + peer_.toStdString();
    tickAt(0);
    tickAt(1);
    EXPECT_EQ(state(), Job::Starting);
    ASSERT_TRUE(waitCommands(1));
    ASSERT_TRUE(waitPeerActive(true));
    tickAt(1);
    EXPECT_EQ(state(), Job::Running);
    tickAt(2);
    EXPECT_EQ(state(), Job::Ending);
    ASSERT_TRUE(waitPeerActive(false));
    tickAt(2);
    EXPECT_EQ(state(), Job::Done);
    EXPECT_EQ(commands(), (std::vector<std::string>{"connect" + id, "disconnect" + id}));
}

TEST_F(SchedulerLoopback, AForcedJobClearsTheCodecOnceBeforeItsFirstConnect) {
    addJob(true);
    const std::string id = " id=" + peer_.toStdString();
    tickAt(1);
    tickAt(1);  // before the codec's peer list comes back: the connect on its way is waited for
    ASSERT_TRUE(waitCommands(2));
    EXPECT_EQ(commands(), (std::vector<std::string>{"disconnect", "connect" + id}));
    ASSERT_TRUE(waitPeerActive(true));
    tickAt(1);
    EXPECT_EQ(state(), Job::Running);
}

TEST_F(SchedulerLoopback, NothingIsSentUntilTheCodecIsReadyAgain) {
    addJob(false);
    session_->disconnectIPC();
    ASSERT_TRUE(wait_processing_events([this] { return session_->state() != IQEndpointClient::READY; }));
    tickAt(1);
    EXPECT_EQ(state(), Job::Starting);
    ASSERT_FALSE(session_->deviceLog.lines().isEmpty());
    EXPECT_TRUE(session_->deviceLog.lines().front().text.endsWith("waits: codec not ready"));

    session_->reconnectIPC();
    ASSERT_TRUE(waitReady());
    EXPECT_TRUE(commands().empty());
    tickAt(1);
    EXPECT_EQ(state(), Job::Starting);
    EXPECT_TRUE(waitCommands(1));
}

// A job acts only on the peer it was made for, sees its call under the id the codec writes, and
// after a restart ends only a call it made itself.
TEST_F(SchedulerLoopback, AJobActsOnlyOnItsOwnPeerAndCall) {
    // A zero-padded id from an edited file: one connect, the call seen, and noted in the file.
    Job padded = makeJob(1, 2, true);
    padded.peer = "00" + peer_;
    writeFile(padded);
    restartAt(0);
    tickAt(1);
    ASSERT_TRUE(waitPeerActive(true));
    tickAt(1);
    EXPECT_EQ(state(), Job::Running);
    EXPECT_TRUE(fileText().contains("connected=\"") && fileText().contains("peer=\"" + peer_ + "\""));
    // Started again after its end: the call it noted is ended.
    restartAt(3);
    tickAt(3);
    ASSERT_TRUE(waitPeerActive(false));

    // One that never ran leaves a call made by hand after its window alone, and says it was missed.
    writeFile(makeJob());
    ASSERT_TRUE(session_->cmd_connect(peer_) && waitPeerActive(true));
    restartAt(3);
    tickAt(3);
    const QString missed = "missed: its end passed before it could run";
    EXPECT_TRUE(lastLogLine().endsWith("Scheduled connection to " + peer_name_ + " " + missed));
    EXPECT_EQ(shownJob(), (peer_name_ + " | Done (" + missed + ")").toStdString());
    ASSERT_TRUE(session_->cmd_disconnect(peer_.toInt()) && waitPeerActive(false));

    // Its id given to another peer while the program was closed: nothing is connected; the window
    // and the log say why.
    scheduler_ = makeScheduler();
    const Job chosen = makeJob(11, 12);
    ASSERT_TRUE(scheduler_->addJob(chosen) && scheduler_->save());
    EXPECT_TRUE(fileText().contains("peer_name=\"" + peer_name_ + "\""));
    scheduler_.reset();
    const session_requests::AskedRequest other(Message("<setPeerSettings id=\"" + peer_.toStdString() +
                                                       "\" name=\"Other Studio\" addr=\"192.0.2.200:9000\"/>"),
                                               session_requests::kSetPeerSettings);
    ASSERT_TRUE(session_->send_all_if_ready({other}));
    const auto renamed = [&] {
        std::lock_guard<SessionMutex> lock(session_->mutex());
        const PeerMetaPtr peer = session_->peerById.value(peer_.toInt());
        return peer && peer->name == "Other Studio";
    };
    ASSERT_TRUE(wait_processing_events(renamed));
    restartAt(10);
    tickAt(10);
    const QString reason = "peer " + peer_ + " is now 'Other Studio' at 192.0.2.200";
    EXPECT_EQ(shownJob(), (peer_name_ + " | Waiting (" + reason + ")").toStdString());
    tickAt(11);
    EXPECT_TRUE(lastLogLine().endsWith("Scheduled connection to " + peer_name_ + " waits: " + reason));
    EXPECT_EQ(shownJob(), (peer_name_ + " | Starting (" + reason + ")").toStdString());

    ASSERT_TRUE(session_->cmd_disconnect(peer_.toInt()));  // after anything the last tick sent
    const std::string connect = "connect id=" + peer_.toStdString(), disconnect = "dis" + connect;
    ASSERT_TRUE(waitCommands(5));
    EXPECT_EQ(commands(), (std::vector<std::string>{connect, disconnect, connect, disconnect, disconnect}));
}

// A codec that refuses every disconnect: the scheduled one that it refused says so, with its reason.
class RefusingCodecLoopback : public SchedulerLoopback {
protected:
    void SetUp() override {
        refused_requests_ = {"disconnect"};
        SchedulerLoopback::SetUp();
    }
};

TEST_F(RefusingCodecLoopback, ARefusedScheduledDisconnectIsSaidOnTheRowAndInTheLog) {
    int refusals = 0;
    QObject::connect(session_.data(), &IPCObject::requestFailed, [&](QUuid, const QString& request) {
        if (request == "disconnect") ++refusals;
    });
    addJob(false);
    tickAt(1);
    ASSERT_TRUE(waitPeerActive(true));
    {  // the operator switches metering off in the same round trip (the session's loop held)
        IPCMutexGuard hold(session_->session_manager()->mutex());
        tickAt(2);
        session_->cmd_metering_off();
    }
    ASSERT_TRUE(wait_processing_events([&] { return refusals > 0; }));
    tickAt(2);
    const QString reason = "Refused by codec-sim (error 409)";
    EXPECT_EQ(shownJob(), (peer_name_ + " | Ending (disconnect refused by the codec: " + reason + ")").toStdString());
    EXPECT_TRUE(
        lastLogLine().endsWith("Scheduled disconnection from " + peer_name_ + " refused by the codec: " + reason))
        << lastLogLine().toStdString();
}

// The operator hangs up on the one channel in the round trip of the booking's connect, refused for
// it: the refusal is the connect's, which goes again at the next pass; the operator hears nothing.
TEST_F(SchedulerLoopback, AConnectRefusedBesideTheOperatorsHangUpIsTheSchedules) {
    const auto unpaired = countRefusals(QString());
    const QString other = bookPeerId(1);
    ASSERT_TRUE(session_->cmd_connect_peer(other, QString()) && waitPeerActive(other, true));
    addJob(false);
    {
        IPCMutexGuard hold(session_->session_manager()->mutex());
        tickAt(1);
        session_->cmd_disconnect(other.toInt(), IPCObject::Asker::kOperator);
    }
    ASSERT_TRUE(waitRead(CodecSessions::Command::kConnect) && waitPeerActive(other, false));
    tickAt(1);
    EXPECT_TRUE(waitPeerActive(true));
    EXPECT_EQ(*unpaired, 0);
}

// A codec that refuses every connect, as one whose channels are all taken does: the booking says
// so while its window is open, cuts nothing, and ends missed with the codec's words.
class RefusingConnectLoopback : public SchedulerLoopback {
protected:
    void SetUp() override {
        refused_requests_ = {"connect"};
        SchedulerLoopback::SetUp();
    }
};

TEST_F(RefusingConnectLoopback, ARefusedBookedConnectIsSaidAndEndsMissed) {
    const auto refusals = countRefusals("connect");
    addJob(false);
    tickAt(1);
    ASSERT_TRUE(wait_processing_events([&] { return *refusals > 0; }));
    tickAt(1);
    const QString refused = "connect refused by the codec: Refused by codec-sim (error 409)";
    EXPECT_EQ(shownJob(), (peer_name_ + " | Starting (" + refused + ")").toStdString());
    EXPECT_TRUE(lastLogLine().endsWith("Scheduled connection to " + peer_name_ +
                                       " refused by the codec: Refused by codec-sim (error 409)"))
        << lastLogLine().toStdString();
    // Its last connect refused too: nothing is on its way to stop at the end.
    ASSERT_TRUE(wait_processing_events([&] { return *refusals > 1; }));
    tickAt(2);
    EXPECT_EQ(shownJob(), (peer_name_ + " | Done (missed: " + refused + ")").toStdString());
    EXPECT_TRUE(lastLogLine().endsWith("Scheduled connection to " + peer_name_ + " missed: " + refused));
    const std::string connect = "connect id=" + peer_.toStdString();
    ASSERT_TRUE(waitCommands(2));
    EXPECT_EQ(commands(), (std::vector<std::string>{connect, connect})) << "no disconnect of a call never up";
}

// A codec with two channels, a call up on the first, that refuses every disconnect: a forced
// booking of the second peer cannot make its room, and the two calls the schedule then holds cannot
// be ended. Each row says so, also where one refusal may answer both disconnects of a pass.
class RefusingDisconnectLoopback : public SchedulerLoopback {
protected:
    void SetUp() override {
        refused_requests_ = {"disconnect"};
        codec_index_ = 1;
        SchedulerLoopback::SetUp();
    }
};

TEST_F(RefusingDisconnectLoopback, RefusedForcesAndDisconnectsAreSaidOnEachRow) {
    const QString second = bookPeerId(1);
    ASSERT_FALSE(second.isEmpty());
    ASSERT_TRUE(waitPeerActive(true)) << "the first peer starts in a call";
    Job first_call = makeJob(1, 3);
    ASSERT_TRUE(scheduler_->addJob(first_call));
    Job forced = makeJob(1, 3);
    forced.peer = second;
    forced.priority = true;
    scheduler_->sessions().findPeer(forced.uuid, second, forced.peer_name, forced.peer_address);
    ASSERT_TRUE(scheduler_->addJob(forced));
    const auto refusals = countRefusals("disconnect");

    tickAt(1);
    const auto is_second_up = [&] {
        std::lock_guard<SessionMutex> lock(session_->mutex());
        return session_->activePeerIds.contains(second.toInt());
    };
    ASSERT_TRUE(wait_processing_events([&] { return *refusals > 0 && is_second_up(); }));
    tickAt(1);
    const std::string reason = "Refused by codec-sim (error 409)";
    // The list order: equal starts, the later added first.
    EXPECT_EQ(shownJob(0),
              forced.peer_name.toStdString() + " | Running (the codec refused to end its other calls: " + reason + ")");
    EXPECT_EQ(shownJob(1), peer_name_.toStdString() + " | Running");

    *refusals = 0;
    tickAt(3);
    ASSERT_TRUE(wait_processing_events([&] { return *refusals >= 2; }));
    tickAt(3);
    for (int row : {0, 1}) {
        EXPECT_NE(shownJob(row).find(" | Ending (disconnect refused by the codec: " + reason + ")"), std::string::npos)
            << shownJob(row);
    }
}

// Far ends that answer two seconds after the connect, as a real one may take half a minute: a booking
// whose window closes first stops its connect, quietly; one whose call comes up after its window,
// while the program could not stop it, is ended once seen.
class LateFarEndLoopback : public SchedulerLoopback {
protected:
    void SetUp() override {
        answer_after_ms_ = 2000;
        SchedulerLoopback::SetUp();
    }

    bool waitLogLine(const QString& text) {
        return wait_processing_events([&] {
            for (const LogLine& line : session_->deviceLog.lines()) {
                if (line.text.endsWith(text)) return true;
            }
            return false;
        });
    }
};

TEST_F(LateFarEndLoopback, ACallUpAfterItsWindowIsStoppedOrEnded) {
    const std::string connect = "connect id=" + peer_.toStdString(), disconnect = "dis" + connect;
    ASSERT_TRUE(scheduler_->addJob(makeJob(1, 2)));
    tickAt(1);
    ASSERT_TRUE(waitCommands(1));
    tickAt(2);  // the window closed before the far end answered
    ASSERT_TRUE(waitCommands(2));
    EXPECT_EQ(commands(), (std::vector<std::string>{connect, disconnect}));
    // Stopped: past the far end's answer, nothing comes up.
    EXPECT_FALSE(waitPeerActive(true, std::chrono::milliseconds(3000)));
    EXPECT_EQ(shownJob(), (peer_name_ + " | Done (missed: its call did not come up)").toStdString());
    EXPECT_TRUE(lastLogLine().endsWith("Scheduled connection to " + peer_name_ + " missed: its call did not come up"));

    // The codec away from just after the connect until after the window and the answer: nothing
    // could stop it, and the call is up when it is back.
    ASSERT_TRUE(scheduler_->addJob(makeJob(5, 6)));
    tickAt(5);
    ASSERT_TRUE(waitCommands(3));
    session_->disconnectIPC();
    ASSERT_TRUE(wait_processing_events([this] { return session_->state() != IQEndpointClient::READY; }));
    tickAt(6);
    session_->reconnectIPC();
    ASSERT_TRUE(waitReady());
    ASSERT_TRUE(waitPeerActive(true));
    tickAt(7);
    ASSERT_TRUE(waitPeerActive(false));
    EXPECT_TRUE(waitLogLine("Call to " + peer_name_ + " ended: it came up after its scheduled connection had ended"));
    ASSERT_TRUE(waitCommands(4));
    EXPECT_EQ(commands(), (std::vector<std::string>{connect, disconnect, connect, disconnect}));
    EXPECT_FALSE(scheduler_->holdsCall(session_->uuid, peer_));
}

// On the one-channel codec, a pass before the far end answers sends nothing: the call comes up for
// the first connect. The operator's call right after a window closed on its ringing dial is kept.
TEST_F(LateFarEndLoopback, AConnectInFlightIsWaitedForAndTheOperatorsCallIsKept) {
    const std::string connect = "connect id=" + peer_.toStdString(), disconnect = "dis" + connect;
    ASSERT_TRUE(scheduler_->addJob(makeJob(1, 3)));
    tickAt(1);
    tickAt(1);
    ASSERT_TRUE(waitPeerActive(true));
    tickAt(2);
    EXPECT_EQ(shownJob(), (peer_name_ + " | Running").toStdString());
    tickAt(3);
    ASSERT_TRUE(waitPeerActive(false));

    ASSERT_TRUE(scheduler_->addJob(makeJob(5, 6)));
    tickAt(5);
    tickAt(6);  // its far end has not answered: stopped
    ASSERT_TRUE(session_->cmd_connect_peer(peer_, QString()) && waitPeerActive(true));
    tickAt(7);
    tickAt(8);
    ASSERT_TRUE(session_->cmd_disconnect(peer_.toInt()));  // after anything the last tick sent
    ASSERT_TRUE(waitCommands(6));
    EXPECT_EQ(commands(), (std::vector<std::string>{connect, disconnect, connect, disconnect, connect, disconnect}));
}

// Two bookings of the one-channel codec at one start: one connect the codec has not read at a
// time, so that the refusal of the second, while the first holds the channel, is known to be its
// own; the second goes as soon as the codec has read the first, again at each pass, and comes up
// right behind the first's end.
TEST_F(LateFarEndLoopback, TwoBookingsAtOneStartTakeTheChannelInTurn) {
    Job first = makeJob(1, 2);  // added later: listed, and dialled, first
    first.peer = bookPeerId(1);
    scheduler_->sessions().findPeer(first.uuid, first.peer, first.peer_name, first.peer_address);
    ASSERT_TRUE(scheduler_->addJob(makeJob(1, 4)) && scheduler_->addJob(first));
    const auto refusals = countRefusals("connect");
    const std::string first_connect = "connect id=" + first.peer.toStdString();
    const std::string second_connect = "connect id=" + peer_.toStdString();
    tickAt(1);  // the second is refused while the first rings, and at the next pass while it is up
    ASSERT_TRUE(wait_processing_events([&] { return *refusals == 1; }) && waitRead(CodecSessions::Command::kConnect));
    EXPECT_EQ(commands(), (std::vector<std::string>{first_connect, second_connect}));
    ASSERT_TRUE(waitPeerActive(first.peer, true));
    tickAt(1);
    ASSERT_TRUE(wait_processing_events([&] { return *refusals == 2; }) && waitRead(CodecSessions::Command::kConnect));
    tickAt(2);  // the first ends
    ASSERT_TRUE(waitPeerActive(peer_, true));
    tickAt(2);
    EXPECT_EQ(scheduler_->jobList().back().state, Job::Running);
    EXPECT_EQ(commands(), (std::vector<std::string>{first_connect, second_connect, second_connect,
                                                    "dis" + first_connect, second_connect}));
}

// A quiet stop the codec took settles the dial: a call made at its panel a few seconds later is not
// the schedule's, though it comes up within the passes in which a late answer would be ended.
class PanelCallLoopback : public LateFarEndLoopback {
protected:
    void SetUp() override {
        panel_call_after_stop_ms_ = 3000;
        LateFarEndLoopback::SetUp();
    }
};

TEST_F(PanelCallLoopback, ACallMadeAtThePanelAfterAQuietStopIsLeftAlone) {
    const std::string connect = "connect id=" + peer_.toStdString(), disconnect = "dis" + connect;
    ASSERT_TRUE(scheduler_->addJob(makeJob(1, 2)));
    tickAt(1);
    tickAt(2);  // the window closed before the far end answered
    ASSERT_TRUE(waitCommands(2) && waitRead(CodecSessions::Command::kDisconnect));
    ASSERT_TRUE(waitPeerActive(peer_, true)) << "the panel's call";
    tickAt(2);
    tickAt(3);
    ASSERT_TRUE(session_->cmd_disconnect(peer_.toInt()));  // after anything the last tick sent
    ASSERT_TRUE(waitCommands(3));
    EXPECT_EQ(commands(), (std::vector<std::string>{connect, disconnect, disconnect}));
    EXPECT_EQ(shownJob(), (peer_name_ + " | Done (missed: its call did not come up)").toStdString());
    for (const LogLine& line : session_->deviceLog.lines()) EXPECT_FALSE(line.text.contains("Call to"));
}

}  // namespace
