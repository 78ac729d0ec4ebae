#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <QDateTime>
#include <QStringList>

#include <map>
#include <string>
#include <vector>

#include "ipc/base/ipc_clock.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_dropped_frame.h"
#include "sessions/iq_endpoint_client.h"
#include "sessions/session_meta_types.h"
#include "tests/support/qt_wait.h"

namespace {

// A session with a few reply slots that records what reaches it.
class RecordingSession : public IQEndpointClient {
    Q_OBJECT

public:
    explicit RecordingSession(const std::string& name = "session") : IQEndpointClient(name, nullptr) {
        connect(this, &IQEndpointClient::finalRequiredMessageReceived, this, [this] { ++all_present; });
        connect(this, &IQEndpointClient::connecting, this, [this] { ++connecting_signals; });
        connect(this, &IQEndpointClient::initializing, this, [this] { ++marks_delivered; });
    }

    // Waits until everything queued for the session so far has reached it: signals and slot calls
    // are queued even on its own thread, in order, so a marker queued last arrives last.
    void deliver_queued() {
        const int expected = ++marks_sent;
        queue_signal(&IQEndpointClient::initializing);
        EXPECT_TRUE(test_support::wait_processing_events([&] { return marks_delivered >= expected; }));
    }

    void set_required_messages() override {
        hooks.push_back("set_required_messages");
        set_required(required_names);
    }
    void after_authenticated() override { hooks.push_back("after_authenticated"); }

    QStringList required_names;
    std::vector<std::string> hooks;
    std::vector<std::string> delivered;
    int all_present = 0;
    int connecting_signals = 0;
    int marks_sent = 0;
    int marks_delivered = 0;

public slots:
    void cb_resp_peerList(const Message& reply) { delivered.push_back("peerList " + reply.name()); }
    void cb_unso_cfgStatus_netmgr_tunnel(const Message& unso) { delivered.push_back("tunnel " + unso.name()); }
};

Message message(const char* xml) {
    return Message(std::string(xml));
}

TEST(SessionState, SameStateChangesNothing) {
    RecordingSession session;
    session.set_state(IQEndpointClient::CONNECTING);
    session.set_state(IQEndpointClient::CONNECTING);
    EXPECT_EQ(session.connecting_signals, 0) << "never emitted inside set_state";
    session.deliver_queued();
    EXPECT_EQ(session.connecting_signals, 1);
}

TEST(SessionState, RefusedLoginStopsReconnectingUntilTheNextConnect) {
    RecordingSession session;
    EXPECT_EQ(session.reconnect_delay(), 4);
    session.set_state(IQEndpointClient::AUTH_FAILED);
    EXPECT_EQ(session.reconnect_delay(), 0);
    session.set_state(IQEndpointClient::CONNECTING);
    EXPECT_EQ(session.reconnect_delay(), 4);
}

TEST(SessionState, AuthenticatedFillsTheListBeforeTheStartUpRequests) {
    RecordingSession session;
    session.set_state(IQEndpointClient::AUTHENTICATED);
    EXPECT_EQ(session.hooks, (std::vector<std::string>{"set_required_messages", "after_authenticated"}));
}

TEST(SessionState, ConnectingEmptiesTheCache) {
    RecordingSession session;
    session.set_state(IQEndpointClient::READY);
    session.handle_response(message("<resp seq=\"peerList\"/>"));
    Message out;
    ASSERT_TRUE(session.cached_message("peerList", out));
    session.set_state(IQEndpointClient::CONNECTING);
    EXPECT_FALSE(session.cached_message("peerList", out));
}

TEST(ReplyDispatch, RepliesAndReportsReachTheirSlots) {
    RecordingSession session;
    session.handle_response(message("<resp seq=\"peerList\"><peer id=\"1\"/></resp>"));
    session.handle_response(message("<resp/>"));  // no seq: ignored
    session.handle_unsolicited(message("<unso id=\"cfgStatus:netmgr.tunnel\"><node/></unso>"));
    session.deliver_queued();
    EXPECT_EQ(session.delivered, (std::vector<std::string>{"peerList resp", "tunnel unso"}));
    Message out;
    EXPECT_TRUE(session.cached_message("cfgStatus_netmgr_tunnel", out));
    EXPECT_FALSE(session.cached_message("", out));
}

TEST(ReplyDispatch, RequiredListEmptiesOnceAndOnlyOnce) {
    RecordingSession session;
    session.required_names = QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a")};
    session.set_state(IQEndpointClient::AUTHENTICATED);
    session.handle_response(message("<resp seq=\"a\"/>"));
    session.deliver_queued();
    EXPECT_EQ(session.all_present, 0);
    session.handle_response(message("<resp seq=\"b\"/>"));
    session.handle_response(message("<resp seq=\"b\"/>"));
    session.deliver_queued();
    EXPECT_EQ(session.all_present, 1);
}

TEST(ReplyDispatch, ARequiredReplyBeforeTheLoginResultCounts) {
    RecordingSession session;
    session.set_state(IQEndpointClient::CONNECTED);
    session.handle_unsolicited(message("<unso id=\"systemOpts\"/>"));
    session.required_names = QStringList{QStringLiteral("systemOpts"), QStringLiteral("peerList")};
    session.set_state(IQEndpointClient::AUTHENTICATED);
    session.handle_response(message("<resp seq=\"peerList\"/>"));
    session.deliver_queued();
    EXPECT_EQ(session.all_present, 1);
}

TEST(ReplyDispatch, OnlyKeysThatNothingHandlesAreCapped) {
    RecordingSession session;
    session.required_names = QStringList{QStringLiteral("version")};
    session.set_state(IQEndpointClient::AUTHENTICATED);
    for (int i = 0; i < IQEndpointClient::kMaxCachedKeys + 10; ++i) {
        session.handle_unsolicited(message(("<unso id=\"k" + std::to_string(i) + "\"/>").c_str()));
    }
    Message out;
    EXPECT_TRUE(session.cached_message("k0", out));
    EXPECT_FALSE(session.cached_message("k" + QString::number(IQEndpointClient::kMaxCachedKeys), out));
    // A handled key, a required one, and a known key with a newer message are stored all the same.
    session.handle_response(message("<resp seq=\"peerList\" n=\"1\"/>"));
    session.handle_response(message("<resp seq=\"version\"/>"));
    session.handle_unsolicited(message("<unso id=\"k0\" again=\"1\"/>"));
    EXPECT_TRUE(session.cached_message("peerList", out));
    EXPECT_TRUE(session.cached_message("version", out));
    ASSERT_TRUE(session.cached_message("k0", out));
    EXPECT_TRUE(out.attributes().has("again"));
    EXPECT_LE(session.cached_key_count(), IQEndpointClient::kMaxCachedKeys);
    session.deliver_queued();
    EXPECT_EQ(session.all_present, 1) << "the required reply counts";
    EXPECT_EQ(session.delivered, std::vector<std::string>{"peerList resp"});
}

// Before READY, each dropped frame is the session's last fault, in the reader's words without its
// function.
TEST(SessionState, EachDroppedFrameIsTheLastFault) {
    RecordingSession session;
    session.on_frame_dropped({IPCDroppedFrame::kUnreadable, "read_xml_element: Premature end of document.", 9, "<a"});
    EXPECT_EQ(session.last_fault(),
              (ConnectionFault{ConnectionFault::kFrameUnreadable, "Premature end of document.", 0}));
    session.on_frame_dropped({IPCDroppedFrame::kTooLarge, {}, 3145728, "<m"});
    EXPECT_EQ(session.last_fault(), (ConnectionFault{ConnectionFault::kFrameTooLarge, {}, 3145728}));
}

const IPCDroppedFrame kUnreadableFrame{IPCDroppedFrame::kUnreadable, "read_xml_element: Premature end of document.", 9,
                                       "<a"};
const IPCDroppedFrame kHugeFrame{IPCDroppedFrame::kTooLarge, {}, 3145728, "<m"};
const ConnectionFault kUnreadable{ConnectionFault::kFrameUnreadable, "Premature end of document.", 0};
const ConnectionFault kHuge{ConnectionFault::kFrameTooLarge, {}, 3145728};

enum Step { kLogin, kReady, kDrop, kDropHuge, kBurst, kSeen, kDeliver, kLose, kRelink };
void take(Step step, RecordingSession& s) {
    switch (step) {
    case kLogin: return s.set_state(IQEndpointClient::AUTHENTICATED);
    case kReady: return s.set_state(IQEndpointClient::READY);
    case kDrop: return s.on_frame_dropped(kUnreadableFrame);
    case kDropHuge: return s.on_frame_dropped(kHugeFrame);
    case kBurst:
        for (int i = 0; i < 999; ++i) s.on_frame_dropped(kUnreadableFrame);
        return;
    case kSeen: return s.forget_link_drops();
    case kDeliver: return s.deliver_queued();
    case kLose: return s.set_state(IQEndpointClient::DISCONNECTED);
    case kRelink: return s.set_state(IQEndpointClient::CONNECTING);
    }
}

struct LinkDropsCase {
    const char* label;
    std::vector<Step> steps;
    quint64 count;          // link_drops() after the steps
    ConnectionFault last;   // its last reason
    ConnectionFault fault;  // last_fault() after the steps
    int tellings;           // how often the views were woken
};
const LinkDropsCase kLinkDrops[] = {
    {"a drop in the login, then READY", {kLogin, kDrop, kReady}, 1, kUnreadable, {}, 1},
    // A burst wakes the views once, not once a frame.
    {"a burst while READY, a failure of nothing", {kReady, kBurst, kDropHuge}, 1000, kHuge, {}, 1},
    {"seen by the operator", {kReady, kDrop, kSeen}, 0, {}, {}, 2},
    {"then a new link", {kReady, kDrop, kLose, kRelink}, 0, {}, {}, 1},
    // Seen, the views are told while the new link's start drops what the old one queued.
    {"seen as a new link starts", {kReady, kDrop, kDeliver, kSeen, kRelink}, 0, {}, {}, 2},
};

// What a session keeps of its codec's dropped frames: each counts since the link came up, the
// login's too, with when and why the last was; only those before READY explain a failure. The
// operator's Seen and a new link empty it, and the views' last word is always the session's.
TEST(SessionState, DroppedFramesCountSinceTheLinkCameUp) {
    for (const LinkDropsCase& c : kLinkDrops) {
        RecordingSession session;
        LinkDrops told;
        int tellings = 0;
        QObject::connect(&session, &IQEndpointClient::link_drops_noted, &session, [&] {
            told = session.link_drops();
            ++tellings;
        });
        const QDateTime before = QDateTime::currentDateTimeUtc();
        for (const Step step : c.steps) take(step, session);
        session.deliver_queued();
        const LinkDrops drops = session.link_drops();
        EXPECT_EQ(drops.count, c.count) << c.label;
        EXPECT_EQ(drops.last, c.last) << c.label;
        if (c.count > 0) {
            EXPECT_GE(drops.last_at, before) << c.label;
            EXPECT_LE(drops.last_at, QDateTime::currentDateTimeUtc()) << c.label;
        }
        EXPECT_EQ(session.last_fault(), c.fault) << c.label;
        EXPECT_TRUE(told == drops) << c.label << ": the views were last told of " << told.count;
        EXPECT_EQ(tellings, c.tellings) << c.label;
    }
}

// A fleet's sessions that come READY together probe spread over the interval, no more than a
// fifth of them in any 100 ms, and each within the interval.
TEST(SessionProbe, SessionsReadyTogetherProbeSpreadOverTheInterval) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    std::map<int64_t, int> probes_by_100ms;
    for (int i = 0; i < 256; ++i) {
        RecordingSession session("codec " + std::to_string(i));
        auto* connection = new IPCConnStream(nullptr, 0);
        session.set_connection(connection);
        ASSERT_TRUE(connection->attach(dup(ends[0]), IPCAddress()));
        session.set_state(IQEndpointClient::READY);
        const int64_t due_us = session.next_tick_due_us();
        EXPECT_LE(due_us, ipc_now_us() + IQEndpointClient::kProbeIntervalUs) << i;
        ++probes_by_100ms[due_us / 100'000];
    }
    close(ends[0]);
    close(ends[1]);
    for (const auto& [slice, probes] : probes_by_100ms) EXPECT_LE(probes, 256 / 5) << slice;
}

}  // namespace

#include "iq_endpoint_client_test.moc"
