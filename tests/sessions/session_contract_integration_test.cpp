// What a window may rely on when it uses the sessions, against simulated codecs on loopback: slots
// that never run under a loop's lock, state signals in order, safe ends, refusals that are no data,
// and codecs that send far more than anyone asked for.
#include <gtest/gtest.h>

#include <QPointer>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "sessions/iq_manager.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/lock_probe.h"
#include "tests/support/qt_wait.h"
#include "tests/support/session_pool_fixture.h"
#include "tests/support/wait_until.h"
#include "tools/codec-sim/codec_endpoint.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

using State = IQEndpointClient::DEVICE_STATE;
using test_support::wait_processing_events;

// Counts, on the socket loop thread, the level reports that reach the session.
class CountingSession : public IPCObject {
public:
    using IPCObject::IPCObject;

    void handle_unsolicited(const Message& message) override {
        if (message.attributes().get_string("id", "") == "metering") ++metering_reports;
        IPCObject::handle_unsolicited(message);
    }

    std::atomic<int> metering_reports{0};
};

class SessionContractTest : public test_support::SessionPoolFixture {
protected:
    // A new session placed in the pool and connected to codec `index` of the fleet.
    CountingSession* connect_session(int index = 0) {
        auto* session = place_session<CountingSession>();
        connect_to_fleet(*session, index);
        return session;
    }

    static bool wait_ready(IPCObject* session,
                           std::chrono::milliseconds deadline = test_support::give_up_after(std::chrono::seconds(10))) {
        return wait_processing_events([session] { return session->state() == IQEndpointClient::READY; }, deadline);
    }

    static int active_peer_count(IPCObject* session) {
        std::lock_guard<SessionMutex> lock(session->mutex());
        return session->activePeerCount;
    }

    // The first peer of the address book, as a view copies it.
    static PeerMetaPtr first_book_peer(IPCObject* session) {
        std::lock_guard<SessionMutex> lock(session->mutex());
        return session->bookPeers.value(0);
    }
};

// Lines of the log that name one of the ids a chatty codec made up, or count them.
int lines_about_unknown_ids(const test_support::CapturedQtMessages& messages) {
    int count = 0;
    for (const std::string& line : messages.records()) {
        const bool is_about_them =
            line.find("cfgData_setting") != std::string::npos || line.find("unknown keys") != std::string::npos;
        count += is_about_them ? 1 : 0;
    }
    return count;
}

TEST_F(SessionContractTest, ACodecSendingThousandsOfUnknownIdsStillMakesItReady) {
    test_support::CapturedQtMessages messages;
    CodecSimOptions options;
    options.hostile = {HostileKind::kUnknown};  // 2000 ids of their own, before the start-up replies
    start_fleet(options);
    IPCObject* session = connect_session();
    int levels = 0;
    QObject context;  // ends the connection before `levels` goes
    QObject::connect(session, &IPCObject::recvLevels, &context, [&] { ++levels; });

    ASSERT_TRUE(wait_ready(session));
    EXPECT_TRUE(wait_processing_events([&] { return levels > 0 && active_peer_count(session) >= 0; }));
    EXPECT_LE(session->cached_key_count(), IQEndpointClient::kMaxCachedKeys);
    EXPECT_GT(lines_about_unknown_ids(messages), 0);
    EXPECT_LE(lines_about_unknown_ids(messages), 20);
}

TEST_F(SessionContractTest, SixtyFourChattyCodecsOnFourWorkersAllBecomeReady) {
    test_support::CapturedQtMessages messages;  // keeps their warnings out of the test output
    CodecSimOptions options;
    options.count = 64;
    options.hostile = {HostileKind::kUnknown};
    start_fleet(options);
    for (int i = 0; i < options.count; ++i) connect_session(i);
    EXPECT_TRUE(wait_processing_events(
        [&] {
            for (const QPointer<IPCObject>& session : sessions_) {
                if (session->state() != IQEndpointClient::READY) return false;
            }
            return true;
        },
        test_support::give_up_after(std::chrono::seconds(60))));
    EXPECT_LE(lines_about_unknown_ids(messages), 20 * options.count);
}

TEST_F(SessionContractTest, NoSlotRunsWhileAManagerLockOrTheSessionMutexIsHeld) {
    start_fleet(CodecSimOptions{});
    IPCObject* session = connect_session();
    IQManager* manager = session->ipcManager();
    ASSERT_TRUE(manager);
    test_support::LockProbe probe;
    std::vector<std::string> held;  // the signals whose slots found a lock held
    std::vector<State> states;
    int probed_levels = 0;
    const auto check = [&](const std::string& signal) {
        if (!probe.is_free(*manager->mutex())) held.push_back(signal + ": manager lock");
        if (!probe.is_free(session->mutex())) held.push_back(signal + ": session mutex");
    };
    QObject context;  // ends the connections before the locals they use go
    QObject::connect(session, &IPCObject::changedState, &context, [&](QUuid, State state) {
        states.push_back(state);
        check("changedState");
    });
    QObject::connect(session, &IPCObject::recvPeerList, &context, [&] { check("recvPeerList"); });
    QObject::connect(session, &IPCObject::recvLevels, &context, [&] {
        if (++probed_levels <= 2) check("recvLevels");
    });

    ASSERT_TRUE(wait_processing_events([&] { return !states.empty() && states.back() == IQEndpointClient::READY; }));
    ASSERT_TRUE(wait_processing_events([&] { return probed_levels >= 2; }));
    session->disconnectIPC();
    ASSERT_TRUE(wait_processing_events([&] { return states.back() == IQEndpointClient::DISCONNECTED; }));
    EXPECT_EQ(held, std::vector<std::string>{});
}

TEST_F(SessionContractTest, StateSignalsKeepTheirOrderAndTheLastOneIsTheState) {
    start_fleet(CodecSimOptions{});
    IPCObject* session = connect_session();
    std::vector<State> states;
    QObject context;
    QObject::connect(session, &IPCObject::changedState, &context, [&](QUuid, State state) { states.push_back(state); });
    // The loop moves on while the GUI thread is busy elsewhere: its state calls are still queued.
    ASSERT_TRUE(test_support::wait_until([&] { return session->state() >= IQEndpointClient::CONNECTED; }));
    session->disconnectIPC();
    ASSERT_TRUE(wait_processing_events([&] { return states.size() >= 3; }));
    EXPECT_EQ(states, (std::vector<State>{IQEndpointClient::CONNECTING, IQEndpointClient::CONNECTED,
                                          IQEndpointClient::DISCONNECTED}));
    EXPECT_EQ(session->state(), IQEndpointClient::DISCONNECTED);
}

TEST_F(SessionContractTest, ADisconnectRightAfterTheConnectWins) {
    start_fleet(CodecSimOptions{});
    IPCObject* session = connect_session();
    IQManager* manager = session->ipcManager();
    std::vector<State> states;
    QObject context;
    QObject::connect(session, &IPCObject::changedState, &context, [&](QUuid, State state) { states.push_back(state); });
    session->disconnectIPC();
    // Whatever was queued to the worker thread before now has run.
    ASSERT_TRUE(QMetaObject::invokeMethod(manager, "print_thread_id", Qt::BlockingQueuedConnection));
    EXPECT_EQ(session->state(), IQEndpointClient::DISCONNECTED);
    ASSERT_TRUE(
        wait_processing_events([&] { return !states.empty() && states.back() == IQEndpointClient::DISCONNECTED; }));
    EXPECT_EQ(states.front(), IQEndpointClient::CONNECTING);  // the loop may have seen the connect complete
    EXPECT_LE(states.size(), 3u);
}

TEST_F(SessionContractTest, OnlyMarkForDeletionEndsASessionAndADeletedOneLeavesItsManager) {
    EXPECT_FALSE(std::is_destructible<IPCObject>::value);

    CodecSimOptions options;
    options.count = 2;
    start_fleet(options);
    // A plain session: the own part of a subclass such as CountingSession would be destroyed
    // before ~IPCObject takes the session off its loop, while the loop may still be calling it.
    IPCObject* gone = place_session<IPCObject>();
    connect_to_fleet(*gone, 0);
    IPCObject* kept = connect_session(1);
    ASSERT_TRUE(wait_ready(gone));
    ASSERT_TRUE(wait_ready(kept));
    const QString gone_name = gone->uuid.toString();
    // A window that gets it wrong, deleting a live session through its QObject base.
    delete static_cast<QObject*>(gone);
    EXPECT_EQ(pool_->manager_for(gone_name), nullptr);
    EXPECT_EQ(pool_->client_count(), 1);
    int levels = 0;
    QObject context;
    QObject::connect(kept, &IPCObject::recvLevels, &context, [&] { ++levels; });
    EXPECT_TRUE(wait_processing_events([&] { return levels >= 3; })) << "the loop goes on without it";
}

struct Refused {
    QString request;
    QString code;
};

TEST_F(SessionContractTest, RefusedRepliesRaiseRequestFailedAndAreNoData) {
    CodecSimOptions options;
    options.refused_requests = {"getPeerList", "addPeer"};
    start_fleet(options);
    IPCObject* session = connect_session();
    std::vector<Refused> refusals;
    int peer_lists = 0;
    int added_peers = 0;
    int events = 0;
    QObject context;
    QObject::connect(session, &IPCObject::requestFailed, &context,
                     [&](QUuid uuid, const QString& request, const QString& code, const QString& text) {
                         EXPECT_EQ(uuid, session->uuid);
                         EXPECT_EQ(text, "Refused by codec-sim");
                         refusals.push_back(Refused{request, code});
                     });
    QObject::connect(session, &IPCObject::recvPeerList, &context, [&] { ++peer_lists; });
    QObject::connect(session, &IPCObject::recvAddPeer, &context, [&] { ++added_peers; });
    QObject::connect(session, &IPCObject::deviceEvent, &context, [&] { ++events; });

    ASSERT_TRUE(wait_ready(session)) << "a refused required reply still counts as answered";
    ASSERT_TRUE(session->cmd_connect("1"));  // pushes a peer list, which is data
    ASSERT_TRUE(wait_processing_events([&] { return peer_lists == 1; }));
    session->cmd_add_peer("Studio B", "192.0.2.7", "pw");
    ASSERT_TRUE(wait_processing_events([&] { return refusals.size() >= 2; }));
    ASSERT_EQ(refusals.size(), 2u);
    EXPECT_EQ(refusals[0].request, "peerList");
    EXPECT_EQ(refusals[0].code, QString::number(CodecEndpoint::kRefusedCode));
    EXPECT_EQ(refusals[1].request, "addPeer");
    EXPECT_EQ(added_peers, 0);
    EXPECT_EQ(events, 1) << "only the connect started audio; no refusal ended it";
    EXPECT_EQ(session->deviceLog.size(), 1);
}

TEST_F(SessionContractTest, RefusalsWithoutSeqNameTheirRequest) {
    CodecSimOptions options;
    options.refused_requests = {"connect", "disconnect", "removePeer", "deleteProfile", "copyProfile"};
    start_fleet(options);
    IPCObject* session = connect_session();
    std::vector<QString> refused;
    QObject context;
    QObject::connect(session, &IPCObject::requestFailed, &context,
                     [&](QUuid, const QString& request) { refused.push_back(request); });
    ASSERT_TRUE(wait_ready(session));

    // One at a time: a refusal without seq can be told only while its request is the only one
    // awaiting an answer.
    const std::function<void()> commands[] = {
        [&] { session->cmd_connect("1"); },
        [&] { session->cmd_disconnect(1); },
        [&] { session->cmd_remove_peer(1); },
        [&] { session->cmd_delete_profile(1); },
        [&] { session->cmd_copy_profile(1, "Copy"); },
    };
    for (const auto& command : commands) {
        command();
        const size_t expected = refused.size() + 1;
        ASSERT_TRUE(wait_processing_events([&] { return refused.size() >= expected; }));
    }
    EXPECT_EQ(refused, (std::vector<QString>{"connect", "disconnect", "removePeer", "deleteProfile", "copyProfile"}));
}

TEST_F(SessionContractTest, GraphSeriesAnnounceChangesWithoutTheSessionMutex) {
    start_fleet(CodecSimOptions{});
    IPCObject* session = connect_session();
    ASSERT_TRUE(wait_ready(session));
    test_support::LockProbe probe;
    int changes = 0;
    int held = 0;
    QObject context;
    for (GraphData* graph : std::vector<GraphData*>{&session->lossGraph, &session->delayGraph}) {
        QObject::connect(graph, &GraphData::dataChanged, &context, [&] {
            if (++changes <= 2 && !probe.is_free(session->mutex())) ++held;
        });
    }
    ASSERT_TRUE(wait_processing_events([&] { return first_book_peer(session) != nullptr; }));
    ASSERT_TRUE(session->cmd_connect_peer(first_book_peer(session)->id, QString()));
    ASSERT_TRUE(wait_processing_events([&] { return changes >= 2; }));
    EXPECT_EQ(held, 0);
}

TEST_F(SessionContractTest, MarkingDropsWhatIsQueuedAndEveryLaterSignal) {
    start_fleet(CodecSimOptions{});
    QPointer<IPCObject> session = connect_session();
    ASSERT_TRUE(wait_ready(session));
    int levels = 0;
    int all_levels_after_marking = 0;
    QObject context;
    QObject::connect(session, &IPCObject::recvLevels, &context, [&] {
        if (++levels == 1) session->markForDeletion();
    });
    // recvAllLevels follows recvLevels from the same report.
    QObject::connect(session, &IPCObject::recvAllLevels, &context, [&] {
        if (levels > 0) ++all_levels_after_marking;
    });
    ASSERT_TRUE(wait_processing_events([&] { return levels > 0; }));
    EXPECT_TRUE(session.isNull() || session->isMarkedForDeletion());
    ASSERT_TRUE(wait_processing_events([&] { return session.isNull(); }));
    EXPECT_EQ(levels, 1);
    EXPECT_EQ(all_levels_after_marking, 0);
}

TEST_F(SessionContractTest, APoolGoneLeavesItsSessionsUnplaced) {
    start_fleet(CodecSimOptions{});
    IPCObject* session = connect_session();
    ASSERT_TRUE(wait_ready(session));
    pool_.reset();
    IPCObject::setSessionPool(nullptr);
    EXPECT_EQ(session->ipcManager(), nullptr);
    EXPECT_FALSE(session->cmd_connect("1"));
    ASSERT_TRUE(wait_processing_events([&] { return session->state() == IQEndpointClient::DISCONNECTED; }));
}

// A receiver connected by signature, as designer-made forms and older code do.
class StateReceiver : public QObject {
    Q_OBJECT

public:
    std::vector<IQEndpointClient::DEVICE_STATE> states;

public slots:
    void onChangedState(QUuid, IQEndpointClient::DEVICE_STATE state) { states.push_back(state); }
};

TEST_F(SessionContractTest, ChangedStateCanBeQueuedByName) {
    test_support::CapturedQtMessages messages;
    start_fleet(CodecSimOptions{});
    IPCObject* session = connect_session();
    StateReceiver receiver;
    ASSERT_TRUE(QObject::connect(session, SIGNAL(changedState(QUuid, IQEndpointClient::DEVICE_STATE)), &receiver,
                                 SLOT(onChangedState(QUuid, IQEndpointClient::DEVICE_STATE)), Qt::QueuedConnection));
    ASSERT_TRUE(wait_processing_events(
        [&] { return !receiver.states.empty() && receiver.states.back() == IQEndpointClient::READY; }));
    EXPECT_EQ(messages.count_warnings("Cannot queue arguments"), 0);
}

TEST_F(SessionContractTest, AFloodOfLevelsWaitsAsOneReportWhenTheGuiIsBehind) {
    CodecSimOptions options;
    options.hostile = {HostileKind::kFlood};  // 5000 level reports in one burst after login
    start_fleet(options);
    CountingSession* session = connect_session();
    int levels = 0;
    QObject context;
    QObject::connect(session, &IPCObject::recvLevels, &context, [&] { ++levels; });
    // The GUI thread runs nothing while the loop takes in the whole burst.
    ASSERT_TRUE(test_support::wait_until([&] { return session->metering_reports >= CodecEndpoint::kFloodReports; }));
    ASSERT_TRUE(wait_ready(session));
    EXPECT_GE(levels, 1);
    EXPECT_LE(levels, 10);
}

// Older firmware writes its names in Latin-1 and, here, sends bad frames after each login.
TEST_F(SessionContractTest, ACodecWritingLatin1AndBadFramesBecomesReadyAndStays) {
    test_support::CapturedQtMessages messages;
    CodecSimOptions options;
    options.writes_latin1 = true;
    options.hostile = {HostileKind::kUtf8, HostileKind::kNul, HostileKind::kDepth, HostileKind::kTag,
                       HostileKind::kOversize};
    start_fleet(options);
    CountingSession* session = connect_session();
    int disconnects = 0;
    int levels = 0;
    QObject context;
    QObject::connect(session, &IQEndpointClient::disconnected, &context, [&] { ++disconnects; });
    QObject::connect(session, &IPCObject::recvLevels, &context, [&] { ++levels; });
    ASSERT_TRUE(wait_ready(session));
    // Every bad frame but utf8, which reads as Latin-1, is dropped; nul is cut into two.
    ASSERT_TRUE(test_support::wait_until([&] { return session->dropped_frame_count() == 5u; }));
    // Levels read after the last bad frame, told after anything the session raised before them.
    const int levels_before = levels;
    ASSERT_TRUE(wait_processing_events([&] { return levels > levels_before + 1; }));
    EXPECT_EQ(session->state(), IQEndpointClient::READY);
    EXPECT_EQ(disconnects, 0);
    // Told as the link's drops, the last one the oversized frame, and never as its failure.
    EXPECT_EQ(session->linkDrops().count, 5u);
    EXPECT_EQ(session->linkDrops().last, (ConnectionFault{ConnectionFault::kFrameTooLarge, {}, 3145728}));
    EXPECT_EQ(session->lastFault(), ConnectionFault());
    EXPECT_EQ(session->unitName(), QString::fromUtf8("Studio Süd 1"));
    const PeerMetaPtr first = first_book_peer(session);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, QString::fromUtf8("Köln Südwest"));
    EXPECT_TRUE(session->has_read_latin1());
    // Once, and only when the codec has told its name.
    // In the words of the codec's "Last failure".
    EXPECT_EQ(messages.count_warnings("and was dropped"), 1);
    EXPECT_EQ(messages.count_warnings("\"Studio Süd 1\": a message from the codec could not be read and was dropped: "),
              1);
}

// After each login the codec sends 3 MiB without a NUL, which the next frame (an answer) ends: the
// answer is lost with the dropped frame and asked again, and each login is READY soon after.
TEST_F(SessionContractTest, AnAnswerLostInAFramePastTheLimitIsAskedAgainAfterEveryLogin) {
    CodecSimOptions options;
    options.hostile = {HostileKind::kHuge};
    options.close_after_ms = 3000;  // once, so that the session logs in again
    start_fleet(options);
    CountingSession* session = connect_session();
    int readies = 0;
    QObject context;
    QObject::connect(session, &IQEndpointClient::ready, &context, [&] { ++readies; });
    ASSERT_TRUE(wait_processing_events([&] { return readies == 1; }));
    ASSERT_TRUE(
        wait_processing_events([&] { return readies == 2; }, test_support::give_up_after(std::chrono::seconds(20))));
    EXPECT_EQ(session->dropped_frame_count(), 2u);
    EXPECT_EQ(session->linkDrops().count, 1u);  // the new link's own
    const int reports_before = session->metering_reports;
    ASSERT_TRUE(wait_processing_events([&] { return session->metering_reports > reports_before + 10; }));
    EXPECT_EQ(session->state(), IQEndpointClient::READY);
    EXPECT_EQ(readies, 2);
}

}  // namespace

#include "session_contract_integration_test.moc"
