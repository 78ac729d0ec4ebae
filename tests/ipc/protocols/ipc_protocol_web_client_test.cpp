#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "tests/support/http_peer_process.h"
#include "tests/support/recording_endpoint.h"
#include "tests/support/threaded_manager.h"
#include "tests/support/wait_until.h"

namespace {

using test_support::HttpPeerProcess;
using test_support::RecordingEndpoint;
using test_support::ThreadedManager;
using test_support::wait_until;

Message request(const std::string& method, const std::string& uri, const std::string& seq = "") {
    Message message;
    message.set_name("get");
    message.attributes().set("method", method);
    message.attributes().set("uri", uri);
    if (!seq.empty()) message.attributes().set("seq", seq);
    return message;
}

std::string attribute(const Message& message, const char* name) {
    return message.attributes().get_string(name, "(none)");
}

// One client endpoint on its own loop, connected to python3's http.server on loopback. The endpoint
// is declared first, so that the loop has stopped before it goes.
class WebClient : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new HttpPeerProcess; }
    static void TearDownTestSuite() { delete server; }

    void connect(const std::string& protocol) {
        ASSERT_NE(server->port(), 0);
        host = "127.0.0.1:" + std::to_string(server->port());
        manager.add_endpoint("web", &endpoint);
        manager.connect(protocol, "stream", IPCAddress(host, 0), "web", 0);
    }
    void send(const Message& message) {
        IPCMutexGuard guard(manager.get_lock());
        endpoint.send(message);
    }
    std::vector<Message> replies(size_t count) {
        EXPECT_TRUE(wait_until([&] { return endpoint.responses().size() >= count; })) << count << " replies";
        return endpoint.responses();
    }

    static HttpPeerProcess* server;
    std::string host;
    RecordingEndpoint endpoint;
    ThreadedManager manager;
};

HttpPeerProcess* WebClient::server = nullptr;

TEST_F(WebClient, KeepsTheConnectionForTheNextRequestAndSendsHost) {
    connect("raw-web");
    send(request("GET", "/xml"));
    send(request("GET", "/xml"));  // waits in the endpoint's queue for the first response
    const auto got = replies(2);
    EXPECT_EQ(attribute(got[1], "x-request-number"), "2");
    EXPECT_EQ(attribute(got[0], "x-seen-host"), host);
    EXPECT_EQ(got[0].value().to_string(), "<data v=\"1\"/>");
    EXPECT_EQ(attribute(got[0].get_child("req", 0), "uri"), "/xml");
}

struct Shape {
    const char* method;
    const char* uri;
    const char* code;
    const char* reason;
    const char* body;
};

// Each shape is followed by a request on the same connection, which finds the stream in step.
const Shape kShapes[] = {
    {"GET", "/chunked", "200", "OK", "<a/>"},
    {"GET", "/missing", "404", "Not Found", "nope"},
    {"HEAD", "/xml", "200", "OK", ""},
    {"GET", "/empty", "204", "No Content", ""},
};

TEST_F(WebClient, ReadsEachShapeAndStaysInStep) {
    for (const Shape& shape : kShapes) {
        RecordingEndpoint shape_endpoint;
        ThreadedManager shape_manager;
        shape_manager.add_endpoint("web", &shape_endpoint);
        shape_manager.connect("raw-web", "stream", IPCAddress("127.0.0.1:" + std::to_string(server->port()), 0), "web",
                              0);
        {
            IPCMutexGuard guard(shape_manager.get_lock());
            shape_endpoint.send(request(shape.method, shape.uri));
            shape_endpoint.send(request("GET", "/xml"));
        }
        ASSERT_TRUE(wait_until([&] { return shape_endpoint.responses().size() == 2; })) << shape.uri;
        const auto got = shape_endpoint.responses();
        EXPECT_EQ(attribute(got[0], "code"), shape.code) << shape.uri;
        EXPECT_EQ(attribute(got[0], "reason"), shape.reason) << shape.uri;
        EXPECT_EQ(got[0].value().to_string(), shape.body) << shape.uri;
        EXPECT_EQ(attribute(got[0], "x-trailer"), "(none)") << shape.uri;
        EXPECT_EQ(attribute(got[1], "x-request-number"), "2") << shape.uri;
        EXPECT_EQ(got[1].value().to_string(), "<data v=\"1\"/>") << shape.uri;
        shape_manager.remove_endpoint("web");
    }
}

TEST_F(WebClient, DeliversTheResponseThenClosesOnConnectionClose) {
    connect("web");
    send(request("GET", "/close", "c1"));
    const auto got = replies(1);
    EXPECT_EQ(got[0].name(), "resp");
    EXPECT_EQ(attribute(got[0], "v"), "1");
    EXPECT_TRUE(wait_until([&] { return !endpoint.states().empty() && endpoint.states().back() == 0; }));
}

TEST_F(WebClient, SendsARequestQueuedBehindAClosingResponseOnTheNextConnection) {
    endpoint.reconnect_delay_s = 1;
    connect("raw-web");
    send(request("GET", "/close"));
    send(request("GET", "/xml"));
    const auto got = replies(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(attribute(got[1], "x-request-number"), "1");
}

TEST_F(WebClient, DeliversAnHttp10BodyEndedByTheClose) {
    connect("raw-web");
    send(request("GET", "/old"));
    EXPECT_EQ(replies(1)[0].value().to_string(), "old body ended by the close");
}

TEST_F(WebClient, DeliversAnHttpErrorAsAFailedReply) {
    connect("web");
    send(request("GET", "/moved"));
    send(request("GET", "/broken"));
    const auto got = replies(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(attribute(got[0], "error_code"), "301");
    EXPECT_EQ(attribute(got[0], "error_text"), "Moved Permanently");
    EXPECT_EQ(attribute(got[1], "fail"), "true");
    EXPECT_EQ(attribute(got[1], "error_code"), "500");
}

TEST_F(WebClient, AnswersARequestItWillNotSendWithA400) {
    connect("web");
    send(request("GET", "/a b", "bad"));
    send(request("GET", "/xml", "good"));
    const auto got = replies(2);
    EXPECT_EQ(attribute(got[0], "seq"), "bad");
    EXPECT_EQ(attribute(got[0], "error_code"), "400");
    EXPECT_EQ(attribute(got[1], "seq"), "(none)");  // the web reply is the body, renamed
    EXPECT_EQ(attribute(got[1], "v"), "1");
}

}  // namespace
