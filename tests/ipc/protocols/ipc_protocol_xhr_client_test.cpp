#include <gtest/gtest.h>

#include <string>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_conn.h"
#include "tests/support/recording_endpoint.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/threaded_manager.h"
#include "tests/support/wait_until.h"

namespace {

using test_support::RecordingEndpoint;
using test_support::ScriptedPeer;
using test_support::ThreadedManager;
using test_support::wait_until;

std::string response(const std::string& status, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// An HTTP server played by a scripted peer that cuts frames at the end of each request head.
class HttpClient : public ::testing::Test {
protected:
    HttpClient() { peer.set_frame_end("\r\n\r\n"); }
    void connect(const std::string& protocol) {
        manager.add_endpoint("h", &endpoint);
        manager.connect(protocol, "stream", IPCAddress(peer.address_text(), 0), "h", 0);
    }
    void send(const Message& message) {
        IPCMutexGuard guard(manager.get_lock());
        endpoint.send(message);
    }

    RecordingEndpoint endpoint;
    ScriptedPeer peer;
    ThreadedManager manager;
};

TEST_F(HttpClient, XhrSendsTheMessageAsOneStrictlyEncodedQueryAndSkipsA403) {
    peer.set_responder(
        [](const std::string&) { return response("403 Forbidden", "") + response("200 OK", "<resp seq=\"1\"/>"); });
    connect("xhr");
    Message ping;
    ping.set_name("ping");
    ping.attributes().set("q", "a&b=c+d;e%f");
    ping.attributes().set("seq", "1");
    send(ping);
    ASSERT_TRUE(peer.wait_for_frames(1));
    EXPECT_EQ(peer.frames()[0],
              "GET /?c=%3cping%20q%3d%22a%26amp%3bb%3dc%2bd%3be%25f%22%20seq%3d%221%22%2f%3e HTTP/1.1\r\n"
              "Host: " +
                  peer.address_text());
    ASSERT_TRUE(wait_until([&] { return endpoint.responses().size() == 1; }));
    EXPECT_EQ(endpoint.responses()[0].attributes().get_string("seq", ""), "1");
}

TEST_F(HttpClient, AResponseTheParserRefusesFailsTheConnectionWithItsText) {
    for (const char* protocol : {"xhr", "raw-web"}) {
        RecordingEndpoint client;
        ThreadedManager loop;
        peer.set_responder(
            [](const std::string&) { return std::string("HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n"); });
        loop.add_endpoint("h", &client);
        loop.connect(protocol, "stream", IPCAddress(peer.address_text(), 0), "h", 0);
        Message get;
        get.set_name("get");
        {
            IPCMutexGuard guard(loop.get_lock());
            client.send(get);
        }
        EXPECT_TRUE(wait_until([&] {
            IPCMutexGuard guard(loop.get_lock());
            return client.connection() && client.connection()->error() == "Malformed Content-Length";
        })) << protocol;
        loop.remove_endpoint("h");
    }
}

}  // namespace
