#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ipc/message/message.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/net/ipc_endpoint_server.h"
#include "ipc/net/ipc_protocol.h"
#include "tests/support/wait_until.h"

namespace {

// A protocol that takes messages only while `is_accepting`, and can answer each one at once with a
// local reply, as the unversioned xmls dialect does.
class ScriptedProtocol : public IPCProtocol {
public:
    using IPCProtocol::IPCProtocol;
    int transmit_message(const Message& message) override {
        if (!is_accepting) return 0;
        ++depth;
        max_depth = std::max(max_depth, depth);
        sent.push_back(message);
        if (replies_locally) {
            Message reply;
            reply.set_name("resp");
            conn->rx_message(reply);
        }
        --depth;
        return 1;
    }
    bool is_accepting = false;
    bool replies_locally = false;
    std::vector<Message> sent;
    int depth = 0;
    int max_depth = 0;
};

class EndpointQueue : public ::testing::Test {
protected:
    EndpointQueue() {
        auto* connection = new IPCConnStream(nullptr, 0);
        protocol = new ScriptedProtocol(connection);
        connection->set_protocol(protocol);
        endpoint.set_connection(connection);
    }

    static Message request(const std::string& name) {
        Message message;
        message.set_name(name);
        return message;
    }
    std::vector<std::string> sent_names() const {
        std::vector<std::string> names;
        for (const Message& message : protocol->sent) names.push_back(message.name());
        return names;
    }

    IPCEndpointClient endpoint;
    ScriptedProtocol* protocol;  // owned by the connection
};

TEST_F(EndpointQueue, KeepsTheNewestTenInOrder) {
    for (int i = 0; i < 11; ++i) endpoint.send(request("r" + std::to_string(i)));
    EXPECT_EQ(endpoint.queued_count(), 10u);
    protocol->is_accepting = true;
    endpoint.flush_queue();
    std::vector<std::string> expected;
    for (int i = 1; i < 11; ++i) expected.push_back("r" + std::to_string(i));
    EXPECT_EQ(sent_names(), expected);
    EXPECT_EQ(endpoint.queued_count(), 0u);
}

TEST_F(EndpointQueue, NewRequestsNeverOvertakeQueuedOnes) {
    endpoint.send(request("first"));
    protocol->is_accepting = true;
    endpoint.send(request("second"));  // the connection would take it, but "first" waits
    EXPECT_TRUE(protocol->sent.empty());
    endpoint.flush_queue();
    EXPECT_EQ(sent_names(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(EndpointQueue, HoldsOneSubscriptionListThatTheLimitNeverEvicts) {
    endpoint.connection()->set_state(IPCConn::CONNECTED);
    endpoint.subscribe("metering", 67);
    for (int i = 0; i < 12; ++i) endpoint.send(request("r" + std::to_string(i)));
    endpoint.subscribe("statistics", 0);
    EXPECT_EQ(endpoint.queued_count(), 11u);

    protocol->is_accepting = true;
    endpoint.flush_queue();
    const auto subscribes = std::count_if(protocol->sent.begin(), protocol->sent.end(),
                                          [](const Message& m) { return m.name() == "subscribe"; });
    ASSERT_EQ(subscribes, 1);
    const Message& list = protocol->sent.front();
    ASSERT_EQ(list.name(), "subscribe");
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.get_child(0).attributes().get_string("id", ""), "metering");
    EXPECT_EQ(list.get_child(1).attributes().get_string("id", ""), "statistics");
    EXPECT_FALSE(list.get_child(1).attributes().has("interval"));
}

TEST_F(EndpointQueue, LocalRepliesDuringAFlushDoNotRecurse) {
    for (int i = 0; i < 10; ++i) endpoint.send(request("r" + std::to_string(i)));
    protocol->is_accepting = true;
    protocol->replies_locally = true;
    endpoint.flush_queue();
    EXPECT_EQ(protocol->sent.size(), 10u);
    EXPECT_EQ(protocol->max_depth, 1);
}

TEST_F(EndpointQueue, RefusedMessageGoesBackToTheFront) {
    endpoint.send(request("a"));
    endpoint.send(request("b"));
    endpoint.flush_queue();  // refused: nothing lost, order kept
    EXPECT_EQ(endpoint.queued_count(), 2u);
    protocol->is_accepting = true;
    endpoint.flush_queue();
    EXPECT_EQ(sent_names(), (std::vector<std::string>{"a", "b"}));
}

// Replies and unsolicited messages reach the right virtual operation.
class RoutingEndpoint : public IPCEndpointClient {
public:
    void handle_response(const Message& reply) override { routed.push_back("response " + reply.name()); }
    void handle_unsolicited(const Message& message) override { routed.push_back("unsolicited " + message.name()); }
    void handle_unso_payload(const std::string& id, const Message& payload) override {
        routed.push_back("payload " + id + " " + payload.name());
    }
    std::vector<std::string> routed;
};

struct RoutingCase {
    const char* xml;
    std::vector<std::string> routed;
};

const RoutingCase kRouting[] = {
    {"<resp/>", {"response resp"}},
    {"<resp seq=\"peerList\"/>", {"response resp"}},
    {"<resp seq=\"internal\"/>", {}},
    {"<resp seq=\"fwd-3\"/>", {}},
    {"<unso id=\"peerList\"><peerList/></unso>", {"unsolicited unso", "payload peerList peerList"}},
    {"<unso id=\"peerList\"/>", {"unsolicited unso"}},
    {"<systemOpts/>", {"unsolicited systemOpts"}},
};

TEST_F(EndpointQueue, ForwardsAwaitingAReplyAreBoundedAndExpireWithTheTimeOut) {
    protocol->is_accepting = true;
    IPCEndpointServer origin;
    for (size_t i = 0; i < IPCEndpointClient::kMaxForwards + 10; ++i) endpoint.forward(request("getConfig"), origin);
    EXPECT_EQ(protocol->sent.size(), IPCEndpointClient::kMaxForwards + 10);
    EXPECT_EQ(endpoint.forward_count(), IPCEndpointClient::kMaxForwards);

    endpoint.set_timeout(1);
    EXPECT_TRUE(test_support::wait_until([&] {
        endpoint.tick();
        return endpoint.forward_count() == 0;
    }));
}

TEST(EndpointRouting, RepliesAndUnsolicitedMessagesGoToTheirHandlers) {
    for (const auto& c : kRouting) {
        RoutingEndpoint endpoint;
        endpoint.receive(Message(c.xml));
        EXPECT_EQ(endpoint.routed, c.routed) << c.xml;
    }
}

TEST(EndpointDefaults, BaseAnswers) {
    IPCEndpointClient endpoint;
    EXPECT_EQ(endpoint.getUser(), "user");
    EXPECT_EQ(endpoint.getPassword(), "");
    EXPECT_EQ(endpoint.reconnect_delay(), 10);
    EXPECT_EQ(endpoint.protocol_version(), 1);
    EXPECT_EQ(endpoint.description(), "(unknown)");
}

}  // namespace
