#include <gtest/gtest.h>

#include <QThread>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ipc/message/message.h"
#include "sessions/iq_endpoint_client.h"
#include "sessions/session_meta_types.h"
#include "tests/support/qt_wait.h"

namespace {

// A record of the session's own that the inbox carries instead of a message (a refusal, say).
struct Tally {
    std::string from;
    int count = 0;
};

// A session that writes what reaches it, and on which thread, into a log shared with the test.
class LoggingSession : public IQEndpointClient {
    Q_OBJECT

public:
    explicit LoggingSession(std::vector<std::string>& log)
        : IQEndpointClient(std::string("session"), nullptr), log_(log) {
        connect(this, &IQEndpointClient::connecting, this, [this] { note("connecting"); });
        connect(this, &IQEndpointClient::disconnected, this, [this] { note("disconnected"); });
    }

    bool was_called_elsewhere = false;
    const Tally* taken_tally = nullptr;    // the record the last takeTally was handed
    std::function<void()> after_metering;  // may delete the session

public slots:
    void cb_resp_peerList(const Message& reply) { note("peerList " + reply.attributes().get_string("n", "")); }
    void takeTally(const Tally& tally) {
        note("tally " + tally.from + " " + std::to_string(tally.count));
        taken_tally = &tally;
    }
    void cb_unso_metering(const Message& unso) {
        note("metering " + unso.attributes().get_string("n", ""));
        const std::function<void()> hook = after_metering;  // outlives the session it may delete
        if (hook) hook();
    }

private:
    void note(const std::string& text) {
        if (QThread::currentThread() != thread()) was_called_elsewhere = true;
        log_.push_back(text);
    }

    std::vector<std::string>& log_;
};

Message message(const std::string& xml) {
    return Message(xml);
}

// Runs `work` on a thread of its own, as a socket loop would, and waits for it to end.
void on_loop_thread(const std::function<void()>& work) {
    std::thread loop(work);
    loop.join();
}

TEST(SessionInbox, LoopThreadCallsArriveOnTheSessionThreadInOrder) {
    std::vector<std::string> log;
    LoggingSession session(log);
    on_loop_thread([&] {
        session.set_state(IQEndpointClient::CONNECTING);
        session.handle_unsolicited(message("<unso id=\"metering\" n=\"1\"/>"));
        session.handle_response(message("<resp seq=\"peerList\" n=\"2\"/>"));
        session.set_state(IQEndpointClient::DISCONNECTED);
        session.handle_unsolicited(message("<unso id=\"metering\" n=\"3\"/>"));
    });
    EXPECT_TRUE(log.empty()) << "nothing is delivered before the session's thread runs its events";
    ASSERT_TRUE(test_support::wait_processing_events([&] { return log.size() >= 5; }));
    EXPECT_EQ(log, (std::vector<std::string>{"connecting", "metering 1", "peerList 2", "disconnected", "metering 3"}));
    EXPECT_FALSE(session.was_called_elsewhere);
}

TEST(SessionInbox, ASessionDeletedBeforeDeliveryGetsNothing) {
    std::vector<std::string> gone_log;
    std::vector<std::string> kept_log;
    auto gone = std::make_unique<LoggingSession>(gone_log);
    LoggingSession kept(kept_log);
    on_loop_thread([&] {
        gone->handle_unsolicited(message("<unso id=\"metering\" n=\"1\"/>"));
        kept.handle_unsolicited(message("<unso id=\"metering\" n=\"2\"/>"));
    });
    gone.reset();
    ASSERT_TRUE(test_support::wait_processing_events([&] { return !kept_log.empty(); }));
    EXPECT_TRUE(gone_log.empty());
    EXPECT_EQ(kept_log, (std::vector<std::string>{"metering 2"}));
}

TEST(SessionInbox, TheLastSessionMayGoInsideOneOfItsCalls) {
    std::vector<std::string> log;
    auto session = std::make_unique<LoggingSession>(log);
    session->after_metering = [&session] { session.reset(); };
    on_loop_thread([&] {
        session->handle_unsolicited(message("<unso id=\"metering\" n=\"1\"/>"));
        session->handle_unsolicited(message("<unso id=\"metering\" n=\"2\"/>"));
    });
    ASSERT_TRUE(test_support::wait_processing_events([&] { return session == nullptr; }));

    // The old inbox goes once its batch is done; a new session gets a working one.
    std::vector<std::string> next_log;
    LoggingSession next(next_log);
    on_loop_thread([&] { next.handle_unsolicited(message("<unso id=\"metering\" n=\"3\"/>")); });
    ASSERT_TRUE(test_support::wait_processing_events([&] { return !next_log.empty(); }));
    EXPECT_EQ(log, (std::vector<std::string>{"metering 1"}));
    EXPECT_EQ(next_log, (std::vector<std::string>{"metering 3"}));
}

TEST(SessionInbox, CallsOnTheSessionThreadQueueBehindEarlierOnes) {
    std::vector<std::string> log;
    LoggingSession session(log);
    session.set_state(IQEndpointClient::CONNECTING);
    on_loop_thread([&] { session.handle_unsolicited(message("<unso id=\"metering\" n=\"1\"/>")); });
    session.handle_unsolicited(message("<unso id=\"metering\" n=\"2\"/>"));
    session.set_state(IQEndpointClient::DISCONNECTED);
    EXPECT_TRUE(log.empty()) << "nothing runs inside the code that raised it";
    ASSERT_TRUE(test_support::wait_processing_events([&] { return log.size() >= 4; }));
    EXPECT_EQ(log, (std::vector<std::string>{"connecting", "metering 1", "metering 2", "disconnected"}));
}

TEST(SessionInbox, ANewConnectionDropsTheOldOnesReportsButNotItsStateSignals) {
    std::vector<std::string> log;
    LoggingSession session(log);
    on_loop_thread([&] {
        session.set_state(IQEndpointClient::CONNECTING);
        session.handle_unsolicited(message("<unso id=\"metering\" n=\"1\"/>"));
        session.set_state(IQEndpointClient::DISCONNECTED);
        session.handle_response(message("<resp seq=\"peerList\" n=\"2\"/>"));
        session.set_state(IQEndpointClient::CONNECTING);
        session.handle_unsolicited(message("<unso id=\"metering\" n=\"3\"/>"));
    });
    ASSERT_TRUE(test_support::wait_processing_events([&] { return log.size() >= 4; }));
    EXPECT_EQ(log, (std::vector<std::string>{"connecting", "disconnected", "connecting", "metering 3"}));
}

TEST(SessionInbox, ANewerCallOfTheNewestOnlyKindReplacesTheQueuedOne) {
    std::vector<std::string> log;
    LoggingSession session(log);
    const std::shared_ptr<SessionInbox> inbox = SessionInbox::for_current_thread();
    const int metering = session.metaObject()->indexOfMethod("cb_unso_metering(Message)");
    const int peer_list = session.metaObject()->indexOfMethod("cb_resp_peerList(Message)");
    const auto post = [&](int method, const std::string& xml, SessionInbox::Delivery delivery) {
        inbox->post(&session, method, std::make_shared<const Message>(message(xml)), delivery);
    };
    on_loop_thread([&] {
        for (int n = 1; n <= 1000; ++n) {
            post(metering, "<unso n=\"" + std::to_string(n) + "\"/>", SessionInbox::Delivery::kNewestOnly);
            if (n % 500 == 0) post(peer_list, "<resp n=\"" + std::to_string(n) + "\"/>", SessionInbox::Delivery::kData);
        }
    });
    ASSERT_TRUE(test_support::wait_processing_events([&] { return log.size() >= 3; }));
    EXPECT_EQ(log, (std::vector<std::string>{"metering 1000", "peerList 500", "peerList 1000"}));
}

TEST(SessionInbox, ARecordTravelsAsItIsBetweenMessages) {
    std::vector<std::string> log;
    LoggingSession session(log);
    const std::shared_ptr<SessionInbox> inbox = SessionInbox::for_current_thread();
    const int tally = session.metaObject()->indexOfMethod("takeTally(Tally)");
    ASSERT_GE(tally, 0);
    const auto record = std::make_shared<const Tally>(Tally{"loop", 3});
    on_loop_thread([&] {
        session.handle_unsolicited(message("<unso id=\"metering\" n=\"1\"/>"));
        inbox->post(&session, tally, record, SessionInbox::Delivery::kInOrder);
        session.handle_response(message("<resp seq=\"peerList\" n=\"2\"/>"));
    });
    ASSERT_TRUE(test_support::wait_processing_events([&] { return log.size() >= 3; }));
    EXPECT_EQ(log, (std::vector<std::string>{"metering 1", "tally loop 3", "peerList 2"}));
    EXPECT_EQ(session.taken_tally, record.get()) << "shared, not copied";
}

// A report a view shows is made as promptly as a signal, and still belongs to its connection.
TEST(SessionInbox, AShownReportIsDroppedWithItsConnectionAsAnyOther) {
    std::vector<std::string> log;
    LoggingSession session(log);
    const std::shared_ptr<SessionInbox> inbox = SessionInbox::for_current_thread();
    const int peer_list = session.metaObject()->indexOfMethod("cb_resp_peerList(Message)");
    on_loop_thread([&] {
        inbox->post(&session, peer_list, std::make_shared<const Message>(message("<resp n=\"1\"/>")),
                    SessionInbox::Delivery::kShownData);
        session.set_state(IQEndpointClient::CONNECTING);
        inbox->post(&session, peer_list, std::make_shared<const Message>(message("<resp n=\"2\"/>")),
                    SessionInbox::Delivery::kShownData);
    });
    ASSERT_TRUE(test_support::wait_processing_events([&] { return log.size() >= 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{"connecting", "peerList 2"}));
}

// Replies and reports alone wait for a longer window than signals and levels; whichever window
// ends a batch, its calls are made in the order they came.
TEST(SessionInbox, ABatchOfRepliesAloneIsDeliveredAndAPromptCallTakesThemAlong) {
    std::vector<std::string> log;
    LoggingSession session(log);
    on_loop_thread([&] { session.handle_response(message("<resp seq=\"peerList\" n=\"1\"/>")); });
    ASSERT_TRUE(test_support::wait_processing_events([&] { return log.size() == 1; }));
    on_loop_thread([&] {
        session.handle_response(message("<resp seq=\"peerList\" n=\"2\"/>"));
        session.handle_unsolicited(message("<unso id=\"metering\" n=\"3\"/>"));
    });
    ASSERT_TRUE(test_support::wait_processing_events([&] { return log.size() == 3; }));
    EXPECT_EQ(log, (std::vector<std::string>{"peerList 1", "peerList 2", "metering 3"}));
}

}  // namespace

#include "session_inbox_test.moc"
