// The session data against a simulated codec on loopback: what the operator's commands make the
// codec report, and what the session then shows and logs.
#include <gtest/gtest.h>

#include <QPointer>

#include <mutex>
#include <vector>

#include "sessions/event_log_merger.h"
#include "sessions/ipc_object.h"
#include "tests/support/qt_wait.h"
#include "tests/support/session_pool_fixture.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

using test_support::wait_processing_events;

class SessionDataIntegrationTest : public test_support::SessionPoolFixture {
protected:
    // What `read` returns from the session's data, read as a view does: under the session mutex.
    template <class Read>
    auto locked(Read read) -> decltype(read()) {
        std::lock_guard<SessionMutex> lock(session_->mutex());
        return read();
    }

    void SetUp() override {
        SessionPoolFixture::SetUp();
        CodecSimOptions options;
        options.count = 1;  // codec 0 starts without a call
        start_fleet(options);

        session_ = place_session();
        QObject::connect(session_, &IPCObject::deviceEvent, &context_,
                         [this](IPCObject*, KT_EVENT kind) { events_.push_back(kind); });
        QObject::connect(session_, &IPCObject::recvEventLog, &context_,
                         [this](const QStringList& lines) { polls_.push_back(lines); });
        connect_to_fleet(*session_);
        ASSERT_TRUE(wait_processing_events([this] { return session_->state() == IQEndpointClient::READY; }));
        ASSERT_TRUE(
            wait_processing_events([this] { return locked([this] { return session_->activePeerCount; }) >= 0; }));
    }

    // The first peer of the address book, as a view copies it.
    PeerMetaPtr first_book_peer() {
        return locked([this] { return session_->bookPeers.value(0); });
    }

    std::string newest_log_text() {
        const QList<LogLine> lines = session_->deviceLog.lines();
        if (lines.isEmpty()) return std::string();
        const LogLine& newest = lines.front();
        return newest.text.mid(EventLogMerger::displayTime(newest.time).size() + 2).toStdString();  // without the time
    }

    bool wait_for_events(size_t count) {
        return wait_processing_events([&] { return events_.size() >= count; }) && events_.size() == count;
    }

    QStringList poll_event_log() {
        const size_t before = polls_.size();
        session_->cmd_get_event_log();
        EXPECT_TRUE(wait_processing_events([&] { return polls_.size() > before; }));
        return polls_.size() > before ? polls_.back() : QStringList();
    }

    QPointer<IPCObject> session_;
    std::vector<KT_EVENT> events_;
    std::vector<QStringList> polls_;
    QObject context_;  // ends the fixture's connections before the fields they write go
};

TEST_F(SessionDataIntegrationTest, ConnectDisconnectAndRemovalRaiseAudioEvents) {
    const PeerMetaPtr peer = first_book_peer();
    ASSERT_TRUE(peer);
    ASSERT_FALSE(peer->active);
    const std::string name = peer->name.toStdString();
    const std::string started = "Audio connection started. Active peers: " + name;
    const std::string ended = "Audio connection ended. Disconnected peers: " + name;

    ASSERT_TRUE(session_->cmd_connect_peer(peer->id, QString()));
    ASSERT_TRUE(wait_for_events(1));
    EXPECT_EQ(events_.back(), AUDIO_START);
    EXPECT_EQ(newest_log_text(), started);
    EXPECT_EQ(locked([this] { return session_->activePeerIds; }), QList<int>{peer->id.toInt()});

    session_->cmd_disconnect_peer();
    ASSERT_TRUE(wait_for_events(2));
    EXPECT_EQ(events_.back(), AUDIO_END);
    EXPECT_EQ(newest_log_text(), ended);

    ASSERT_TRUE(session_->cmd_connect_peer(peer->id, QString()));
    ASSERT_TRUE(wait_for_events(3));
    EXPECT_EQ(events_.back(), AUDIO_START);
    // The codec drops the connection with the peer: the list no longer names it at all.
    session_->cmd_remove_peer(peer->id.toInt());
    ASSERT_TRUE(wait_for_events(4));
    EXPECT_EQ(events_.back(), AUDIO_END);
    EXPECT_EQ(newest_log_text(), ended);
    EXPECT_FALSE(locked([&] { return session_->peerById.contains(peer->id.toInt()); }));
    EXPECT_EQ(session_->deviceLog.size(), 4);
}

TEST_F(SessionDataIntegrationTest, StatisticsAndLevelsOfACall) {
    std::vector<float> levels;
    QObject context;  // ends the connection before `levels` goes
    QObject::connect(session_, &IPCObject::recvAllLevels, &context,
                     [&](float a, float b, float c, float d, float e, float f, float g, float h) {
                         levels = {a, b, c, d, e, f, g, h};
                     });
    const PeerMetaPtr peer = first_book_peer();
    ASSERT_TRUE(peer);
    const int id = peer->id.toInt();
    ASSERT_TRUE(session_->cmd_connect_peer(peer->id, QString()));
    ASSERT_TRUE(wait_for_events(1));

    // The statistics table joins an active peer's statistics with those of its channel.
    const PeerMetaPtr active = locked([&] { return session_->peerById.value(id); });
    ASSERT_TRUE(active && active->channel);
    const int channel = active->channel->channel.toInt();
    EXPECT_TRUE(wait_processing_events([&] {
        return locked([&] {
            return session_->peerStatsById.contains(id) && session_->channelStatsById.contains(channel) &&
                   session_->delayGraph.hasData(id) && session_->lossGraph.hasData(id);
        });
    }));
    EXPECT_GT(locked([&] { return session_->peerStatsById.value(id).bufferDesiredDelay; }), 0);
    ASSERT_TRUE(wait_processing_events([&] { return !levels.empty(); }));
    for (float level : levels) {
        EXPECT_GE(level, IPCObject::kSilenceDb);
        EXPECT_LE(level, IPCObject::kFullScaleDb);
    }
}

TEST_F(SessionDataIntegrationTest, EventLogPollsAddEachEntryOnce) {
    const QStringList first = poll_event_log();
    ASSERT_FALSE(first.isEmpty());

    const PeerMetaPtr peer = first_book_peer();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(session_->cmd_connect_peer(peer->id, QString()));
    ASSERT_TRUE(wait_for_events(1));  // the codec logged the connection before it reported it

    const QStringList second = poll_event_log();
    ASSERT_EQ(second.size(), 1);
    EXPECT_TRUE(second.front().contains(QStringLiteral("Connected to ") + peer->name)) << second.front().toStdString();
    EXPECT_TRUE(poll_event_log().isEmpty());

    QStringList stored = session_->eventLogLines();
    EXPECT_EQ(stored, first + second);
    EXPECT_EQ(stored.removeDuplicates(), 0);
}

TEST_F(SessionDataIntegrationTest, TunnelReportsBuildTheTunnelModel) {
    // Codec 0 runs its tunnel as session 7000 from the start.
    std::vector<int> created;
    int updates = 0;
    QString colour;
    QObject context;  // ends the connections before the locals they write go
    TunnelInfo& tunnel = session_->tunnelInfo;
    QObject::connect(&tunnel, &TunnelInfo::sessionCreate, &context, [&](int sid) { created.push_back(sid); });
    QObject::connect(&tunnel, &TunnelInfo::sessionStatsUpdate, &context, [&] { ++updates; });
    QObject::connect(&tunnel, &TunnelInfo::sessionDelayUpdate, &context, [&] { ++updates; });
    QObject::connect(&tunnel, &TunnelInfo::braidlinkStatus, &context, [&](const QString& c) { colour = c; });
    ASSERT_TRUE(wait_processing_events([&] {
        return tunnel.session() && !tunnel.session()->connections().empty() && updates > 0 && !colour.isEmpty();
    }));
    EXPECT_EQ(tunnel.session()->sid(), 7000);
    EXPECT_NE(colour, "gray");
    const int before = updates;
    EXPECT_TRUE(wait_processing_events([&] { return updates > before; })) << "later reports update it";
    // It may have been made by the status reply before the test listened; never twice.
    EXPECT_TRUE(created.empty() || created == std::vector<int>{7000});
}

}  // namespace
