// The scheduler against a simulated codec on loopback, on a fake clock: what the codec receives.
#include <gtest/gtest.h>

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scheduler/scheduler.h"
#include "scheduler/session_adaptor.h"
#include "sessions/ipc_object.h"
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
        SessionPoolFixture::SetUp();
        CodecSimOptions options;
        options.count = 1;  // codec 0 starts without a call
        options.record_path = folder_.filePath("frames.txt").toStdString();
        start_fleet(options);

        session_ = place_session();
        connect_to_fleet(*session_);
        ASSERT_TRUE(waitReady());
        {
            std::lock_guard<SessionMutex> lock(session_->mutex());
            ASSERT_FALSE(session_->bookPeers.isEmpty());
            peer_ = session_->bookPeers.front()->id;
        }

        scheduler_.stopTimer();
        scheduler_.setClock([this] { return now_; });
        scheduler_.setFilePath(folder_.filePath("schedule.xml"));
        scheduler_.setSessions(std::make_shared<SessionAdaptor>(
            [this](const QUuid& key) { return key == session_->uuid ? session_.data() : nullptr; },
            [this] { return QList<IPCObject*>{session_.data()}; }));
    }

    bool waitReady() {
        return wait_processing_events([this] {
            if (session_->state() != IQEndpointClient::READY) return false;
            std::lock_guard<SessionMutex> lock(session_->mutex());
            return session_->activePeerCount >= 0;
        });
    }

    // One job for the first address-book peer, from minute 1 to minute 2.
    void addJob(bool is_forced) {
        Job job;
        job.start = at(1);
        job.end = at(2);
        job.recurrence_end = job.end;
        job.uuid = session_->uuid;
        job.peer = peer_;
        job.priority = is_forced;
        job.id = Scheduler::nextJobId();
        ASSERT_TRUE(scheduler_.addJob(job));
    }

    QDateTime at(int minutes) const { return base_.addSecs(minutes * 60); }
    void tickAt(int minutes) {
        now_ = at(minutes);
        scheduler_.tick();
    }
    Job::JobState state() const { return scheduler_.jobList().front().state; }

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

    bool waitPeerActive(bool is_active) {
        return wait_processing_events([&] {
            std::lock_guard<SessionMutex> lock(session_->mutex());
            return session_->activePeerIds.contains(peer_.toInt()) == is_active;
        });
    }

    QTemporaryDir folder_;
    QPointer<IPCObject> session_;
    QString peer_;
    const QDateTime base_{QDate(2024, 5, 6), QTime(12, 0)};
    QDateTime now_ = base_;
    Scheduler scheduler_;
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
    tickAt(1);  // before the codec's peer list comes back: the connect is sent again, alone
    ASSERT_TRUE(waitCommands(3));
    EXPECT_EQ(commands(), (std::vector<std::string>{"disconnect", "connect" + id, "connect" + id}));
    ASSERT_TRUE(waitPeerActive(true));
    tickAt(1);
    EXPECT_EQ(state(), Job::Running);
}

TEST_F(SchedulerLoopback, NothingIsSentUntilTheCodecIsReadyAgain) {
    addJob(false);
    session_->disconnectIPC();
    ASSERT_TRUE(wait_processing_events([this] { return session_->state() != IQEndpointClient::READY; }));
    tickAt(1);
    EXPECT_EQ(state(), Job::Waiting);
    ASSERT_FALSE(session_->deviceLog.lines().isEmpty());
    EXPECT_TRUE(session_->deviceLog.lines().front().text.endsWith("waits: codec not ready"));

    session_->reconnectIPC();
    ASSERT_TRUE(waitReady());
    EXPECT_TRUE(commands().empty());
    tickAt(1);
    EXPECT_EQ(state(), Job::Starting);
    EXPECT_TRUE(waitCommands(1));
}

}  // namespace
