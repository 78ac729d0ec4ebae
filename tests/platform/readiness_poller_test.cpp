#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/readiness_poller.h"
#include "platform/socket_ops.h"
#include "platform/wake_event.h"
#include "tests/support/deadline_factor.h"
#include "tests/support/loopback_listener.h"

namespace {

// How long a wait for readiness that is due at once goes on before the test gives up.
const int kGiveUpMs = test_support::give_up_after_ms(std::chrono::seconds(5));

// A listener on 127.0.0.1 with an ephemeral port, and a client connected to it.
struct LoopbackPair {
    LoopbackPair() {
        sockaddr_storage bound{};
        socklen_t length;
        listener = test_support::open_loopback_listener(4, bound, length);
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

using Backend = platform::ReadinessPoller::Backend;

// Every case runs on both backends: epoll, and poll() kept for side-by-side figures.
class ReadinessPollerTest : public ::testing::TestWithParam<Backend> {
protected:
    platform::WakeEvent wake;
    platform::ReadinessPoller poller{wake.fd(), GetParam()};
    int owner = 0;  // any address will do: the poller hands it back
};

INSTANTIATE_TEST_SUITE_P(Backends, ReadinessPollerTest, ::testing::Values(Backend::kEpoll, Backend::kPoll));

TEST_P(ReadinessPollerTest, ReportsDataAndWritabilityToTheOwner) {
    LoopbackPair pair;
    ASSERT_GE(pair.server, 0);
    ASSERT_EQ(platform::send_bytes(pair.server, "hi", 2), 2);

    const uint64_t key = poller.add(pair.client, &owner, true, true);
    ASSERT_NE(key, 0u);
    ASSERT_EQ(poller.wait(kGiveUpMs), 0);
    ASSERT_EQ(poller.event_count(), 1u);
    EXPECT_EQ(poller.owner(poller.event_key(0)), &owner);
    const platform::Readiness readiness = poller.event_readiness(0);
    EXPECT_TRUE(readiness.is_readable);
    EXPECT_TRUE(readiness.is_writable);
    EXPECT_FALSE(readiness.is_peer_closed);
    EXPECT_FALSE(poller.was_woken());
}

TEST_P(ReadinessPollerTest, PeerCloseWithUnreadInputIsReadableAndClosed) {
    LoopbackPair pair;
    ASSERT_GE(pair.server, 0);
    ASSERT_EQ(platform::send_bytes(pair.server, "last", 4), 4);
    close(pair.server);
    pair.server = -1;

    poller.add(pair.client, &owner, true, false);
    ASSERT_EQ(poller.wait(kGiveUpMs), 0);
    ASSERT_EQ(poller.event_count(), 1u);
    EXPECT_TRUE(poller.event_readiness(0).is_readable);
    EXPECT_TRUE(poller.event_readiness(0).is_peer_closed);
}

TEST_P(ReadinessPollerTest, PeerCloseIsSeenEvenWhenReadsAreHeld) {
    LoopbackPair pair;
    ASSERT_GE(pair.server, 0);
    close(pair.server);
    pair.server = -1;

    poller.add(pair.client, &owner, false, false);
    ASSERT_EQ(poller.wait(kGiveUpMs), 0);
    ASSERT_EQ(poller.event_count(), 1u);
    EXPECT_TRUE(poller.event_readiness(0).is_peer_closed);
}

TEST_P(ReadinessPollerTest, InterestFollowsModify) {
    LoopbackPair pair;
    ASSERT_GE(pair.server, 0);
    const uint64_t key = poller.add(pair.client, &owner, true, false);
    ASSERT_EQ(poller.wait(0), 0);
    EXPECT_EQ(poller.event_count(), 0u);  // nothing to read, writing not asked for

    ASSERT_EQ(poller.modify(key, true, true), 0);
    ASSERT_EQ(poller.wait(kGiveUpMs), 0);
    ASSERT_EQ(poller.event_count(), 1u);
    EXPECT_TRUE(poller.event_readiness(0).is_writable);

    ASSERT_EQ(poller.modify(key, true, false), 0);
    ASSERT_EQ(poller.wait(0), 0);
    EXPECT_EQ(poller.event_count(), 0u);
}

TEST_P(ReadinessPollerTest, DescriptorClosedAndReusedAfterTheWaitNeverReachesTheOldOwner) {
    LoopbackPair pair;
    ASSERT_GE(pair.server, 0);
    ASSERT_EQ(platform::send_bytes(pair.server, "x", 1), 1);
    const uint64_t old_key = poller.add(pair.client, &owner, true, false);
    ASSERT_EQ(poller.wait(kGiveUpMs), 0);
    ASSERT_EQ(poller.event_count(), 1u);

    // While the event is handed on, its socket closes and the kernel gives the number to another.
    poller.remove(old_key);
    const int number = pair.client;
    close(pair.client);
    pair.client = platform::open_stream_socket(AF_INET);
    ASSERT_EQ(pair.client, number);
    int newcomer = 0;
    const uint64_t new_key = poller.add(pair.client, &newcomer, true, false);

    EXPECT_EQ(poller.event_key(0), old_key);
    EXPECT_EQ(poller.owner(poller.event_key(0)), nullptr);
    EXPECT_EQ(poller.owner(new_key), &newcomer);
}

TEST_P(ReadinessPollerTest, SeveralWakesCountAsOne) {
    wake.signal();
    wake.signal();
    ASSERT_EQ(poller.wait(kGiveUpMs), 0);
    EXPECT_TRUE(poller.was_woken());
    EXPECT_EQ(poller.event_count(), 0u);
    wake.drain();

    ASSERT_EQ(poller.wait(0), 0);
    EXPECT_FALSE(poller.was_woken());
}

TEST(SocketOps, RefusedConnectReportsTheRealError) {
    // Bind a port, then close it, so nothing listens there.
    sockaddr_storage bound{};
    socklen_t length;
    const int listener = test_support::open_loopback_listener(1, bound, length);
    ASSERT_GE(listener, 0);
    close(listener);

    const int client = platform::open_stream_socket(AF_INET);
    int error = platform::start_connect(client, reinterpret_cast<sockaddr*>(&bound), length);
    if (error == EINPROGRESS) {
        platform::WakeEvent wake;
        platform::ReadinessPoller poller(wake.fd());
        int owner = 0;
        poller.add(client, &owner, false, true);
        ASSERT_EQ(poller.wait(kGiveUpMs), 0);
        ASSERT_EQ(poller.event_count(), 1u);
        const platform::Readiness readiness = poller.event_readiness(0);
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
