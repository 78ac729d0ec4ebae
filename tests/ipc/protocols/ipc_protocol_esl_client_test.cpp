#include <gtest/gtest.h>

#include <string>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/protocols/ipc_protocol_esl_client.h"
#include "tests/support/recording_endpoint.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/threaded_manager.h"
#include "tests/support/wait_until.h"

namespace {

using test_support::RecordingEndpoint;
using test_support::ScriptedPeer;
using test_support::ThreadedManager;
using test_support::wait_until;

const char kAuthRequest[] = "Content-Type: auth/request\n\n";
const char kAccepted[] = "Content-Type: command/reply\nReply-Text: +OK accepted\n\n";
const std::string kEventXml =
    "<event><headers><Event-Name>CUSTOM</Event-Name><Event-Subclass>a%3A%3Ab</Event-Subclass></headers></event>";
const std::string kReplyThenEvent = "Content-Type: api/response\nContent-Length: 5\n\nhello"
                                    "Content-Type: text/event-xml\nContent-Length: " +
                                    std::to_string(kEventXml.size()) + "\n\n" + kEventXml;

Message command(const std::string& text, const std::string& seq) {
    Message message;
    message.set_name("api");
    message.attributes().set("text", text);
    message.attributes().set("seq", seq);
    return message;
}

// An event-socket server played by a scripted peer that cuts frames at the empty line.
class EslClient : public ::testing::Test {
protected:
    EslClient() {
        peer.set_frame_end("\n\n");
        endpoint.password = "PW";
    }
    void connect() {
        manager.add_endpoint("esl", &endpoint);
        manager.connect("esl", "stream", IPCAddress(peer.address_text(), 0), "esl", 0);
        ASSERT_TRUE(peer.wait_for_connections(1));
        peer.send(kAuthRequest);
        ASSERT_TRUE(peer.wait_for_frames(1));
    }
    void send(const Message& message) {
        IPCMutexGuard guard(manager.get_lock());
        endpoint.send(message);
    }
    size_t queued() {
        IPCMutexGuard guard(manager.get_lock());
        return endpoint.queued_count();
    }

    RecordingEndpoint endpoint;
    ScriptedPeer peer;
    ThreadedManager manager;
};

TEST_F(EslClient, AnswersWithThePasswordAndHoldsCommandsUntilTheVerdict) {
    send(command("api status", "s1"));
    connect();
    EXPECT_EQ(peer.frames()[0], "auth PW");
    EXPECT_EQ(queued(), 1u);
    peer.send(kAccepted);
    ASSERT_TRUE(peer.wait_for_frames(2));
    EXPECT_EQ(peer.frames()[1], "api status");
    EXPECT_EQ(endpoint.authenticated_count(), 1);
    EXPECT_TRUE(endpoint.responses().empty());  // the verdict answers no command

    peer.send(kReplyThenEvent);
    ASSERT_TRUE(wait_until([&] { return endpoint.unsolicited().size() == 1; }));
    EXPECT_EQ(endpoint.responses().at(0).attributes().get_string("text", ""), "hello");
    EXPECT_EQ(endpoint.responses().at(0).attributes().get_string("seq", ""), "s1");
    EXPECT_EQ(endpoint.unsolicited()[0].attributes().get_string("id", ""), "a::b");
}

TEST_F(EslClient, WrongPasswordFailsTheLoginAndSendsNoCommand) {
    send(command("api status", "s1"));
    connect();
    // An "+OK" behind the refusal in the same read must not undo it.
    peer.send(std::string("Content-Type: command/reply\nReply-Text: -ERR invalid\n\n") + kAccepted);
    ASSERT_TRUE(wait_until([&] { return endpoint.auth_failed_count() == 1 && endpoint.states().back() == 0; }));
    EXPECT_EQ(endpoint.authenticated_count(), 0);
    EXPECT_EQ(peer.frames().size(), 1u);
    EXPECT_EQ(queued(), 1u);
}

TEST(EslClientChunks, ReadsReplyAndEventAtEverySplit) {
    for (size_t split = 1; split < kReplyThenEvent.size(); ++split) {
        RecordingEndpoint endpoint;
        auto* connection = new IPCConnStream(nullptr, 0);  // no socket: the bytes are fed by hand
        connection->set_protocol(new IPCProtocolESLClient(connection));
        endpoint.set_connection(connection);
        connection->on_data(kAuthRequest);
        connection->on_data(kAccepted);
        endpoint.send(command("api status", "s1"));
        connection->on_data(kReplyThenEvent.substr(0, split));
        connection->on_data(kReplyThenEvent.substr(split));
        ASSERT_EQ(endpoint.responses().size(), 1u) << split;
        ASSERT_EQ(endpoint.unsolicited().size(), 1u) << split;
        EXPECT_EQ(connection->send_buffer(), "auth \n\napi status\n\n");
    }
}

}  // namespace
