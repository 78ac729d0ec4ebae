#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/readiness_poller.h"
#include "platform/socket_ops.h"
#include "platform/wake_event.h"

namespace {

// A listener on 127.0.0.1 with an ephemeral port, and a client connected to it.
struct LoopbackPair {
    LoopbackPair() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        listener = platform::open_listening_socket(reinterpret_cast<sockaddr*>(&address), sizeof address, 4);
        sockaddr_storage bound{};
        socklen_t length;
        platform::local_address(listener, &bound, &length);
        client = platform::open_stream_socket(AF_INET);
        const int error = platform::start_connect(client, reinterpret_cast<sockaddr*>(&bound), length);
        EXPECT_TRUE(error == 0 || error == EINPROGRESS) << error;
        platform::set_blocking(listener, true);
        sockaddr_storage peer{};
        socklen_t peer_length;
        server = platform::accept_connection(listener, &peer, &peer_length);
    }
    ~LoopbackPair() {
        for (int fd : {listener, client, server}) {
            if (fd >= 0) close(fd);
        }
    }
    int listener = -1;
    int client = -1;
    int server = -1;
};

TEST(ReadinessPoller, ReportsDataAndWritability) {
    LoopbackPair pair;
    ASSERT_GE(pair.server, 0);
    ASSERT_EQ(platform::send_bytes(pair.server, "hi", 2), 2);

    platform::WakeEvent wake;
    platform::ReadinessPoller poller;
    poller.begin(wake.fd());
    const size_t slot = poller.add(pair.client, true, true);
    ASSERT_EQ(poller.wait(5000), 0);
    const platform::Readiness readiness = poller.result(slot);
    EXPECT_TRUE(readiness.is_readable);
    EXPECT_TRUE(readiness.is_writable);
    EXPECT_FALSE(readiness.is_peer_closed);
    EXPECT_FALSE(poller.was_woken());
}

TEST(ReadinessPoller, PeerCloseIsSeenEvenWhenReadsAreHeld) {
    LoopbackPair pair;
    ASSERT_GE(pair.server, 0);
    close(pair.server);
    pair.server = -1;

    platform::WakeEvent wake;
    platform::ReadinessPoller poller;
    poller.begin(wake.fd());
    const size_t slot = poller.add(pair.client, false, false);
    ASSERT_EQ(poller.wait(5000), 0);
    EXPECT_TRUE(poller.result(slot).is_peer_closed);
}

TEST(ReadinessPoller, SeveralWakesCountAsOne) {
    platform::WakeEvent wake;
    platform::ReadinessPoller poller;
    wake.signal();
    wake.signal();
    poller.begin(wake.fd());
    ASSERT_EQ(poller.wait(5000), 0);
    EXPECT_TRUE(poller.was_woken());
    wake.drain();

    poller.begin(wake.fd());
    ASSERT_EQ(poller.wait(0), 0);
    EXPECT_FALSE(poller.was_woken());
}

TEST(ReadinessPoller, EachWaitHasItsOwnSerial) {
    platform::WakeEvent wake;
    platform::ReadinessPoller poller;
    poller.begin(wake.fd());
    const uint64_t first = poller.serial();
    poller.begin(wake.fd());
    EXPECT_NE(poller.serial(), first);
}

TEST(SocketOps, RefusedConnectReportsTheRealError) {
    // Bind a port, then close it, so nothing listens there.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int listener = platform::open_listening_socket(reinterpret_cast<sockaddr*>(&address), sizeof address, 1);
    sockaddr_storage bound{};
    socklen_t length;
    ASSERT_TRUE(platform::local_address(listener, &bound, &length));
    close(listener);

    const int client = platform::open_stream_socket(AF_INET);
    int error = platform::start_connect(client, reinterpret_cast<sockaddr*>(&bound), length);
    if (error == EINPROGRESS) {
        platform::WakeEvent wake;
        platform::ReadinessPoller poller;
        poller.begin(wake.fd());
        const size_t slot = poller.add(client, false, true);
        ASSERT_EQ(poller.wait(5000), 0);
        const platform::Readiness readiness = poller.result(slot);
        EXPECT_TRUE(readiness.has_error || readiness.is_peer_closed || readiness.is_writable);
        error = platform::pending_socket_error(client);
    }
    EXPECT_EQ(error, ECONNREFUSED);
    close(client);
}

TEST(SocketOps, DescriptorsAreCloseOnExec) {
    const int fd = platform::open_stream_socket(AF_INET);
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    close(fd);
}

}  // namespace
