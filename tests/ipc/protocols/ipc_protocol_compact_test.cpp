#include <gtest/gtest.h>

#include <string>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "tests/support/recording_endpoint.h"
#include "tests/support/threaded_manager.h"
#include "tests/support/wait_until.h"

namespace {

using test_support::RecordingEndpoint;
using test_support::ThreadedManager;
using test_support::wait_until;

struct PeerCase {
    const char* listen_on;
    const char* fail;  // "(none)" when the reply is a success
    const char* error_code;
};

// The compact server has no login: only the IPv4 loopback network is served.
const PeerCase kPeers[] = {
    {"127.0.0.1:0", "(none)", "(none)"},
    {"[::1]:0", "true", "403"},
};

TEST(CompactProtocol, ServesLoopbackAndRefusesOthersWithTheirSeq) {
    for (const PeerCase& c : kPeers) {
        RecordingEndpoint endpoint;
        ThreadedManager server;
        ThreadedManager client;
        // No server protocol named: the first byte, 0xFF, picks compact.
        ASSERT_TRUE(server.listen("stream", IPCAddress(c.listen_on, 0), "srv", 0, 0));
        client.add_endpoint("c", &endpoint);
        client.connect("compact", "stream", server.server_address("srv"), "c", 0);
        Message login;
        login.set_name("login");
        login.attributes().set("seq", "l1");
        {
            IPCMutexGuard guard(client.get_lock());
            endpoint.send(login);
        }
        ASSERT_TRUE(wait_until([&] { return endpoint.responses().size() == 1; })) << c.listen_on;
        const Message reply = endpoint.responses()[0];
        EXPECT_EQ(endpoint.authenticated_count(), 1);
        EXPECT_EQ(reply.attributes().get_string("seq", ""), "l1");
        EXPECT_EQ(reply.attributes().get_string("fail", "(none)"), c.fail) << c.listen_on;
        EXPECT_EQ(reply.attributes().get_string("error_code", "(none)"), c.error_code) << c.listen_on;
        client.remove_endpoint("c");
    }
}

}  // namespace
