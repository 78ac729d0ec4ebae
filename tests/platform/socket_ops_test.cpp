#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/socket_ops.h"
#include "tests/support/deadline_factor.h"
#include "tests/support/loopback_listener.h"

namespace {

extern "C" void ignore_signal(int) {}

// A listener on 127.0.0.1 whose accept queue is full, so a further connect waits for it.
struct FullListener {
    FullListener() {
        fd = test_support::open_loopback_listener(0, address, length);
        // Linux keeps backlog + 1 connections waiting; the ones after that are not answered.
        for (int i = 0; i < 2; ++i) {
            queued.push_back(platform::open_stream_socket(AF_INET));
            platform::start_connect(queued.back(), reinterpret_cast<sockaddr*>(&address), length);
        }
    }
    ~FullListener() {
        for (int each : queued) platform::close_socket(each);
        platform::close_socket(fd);
    }

    int fd;
    sockaddr_storage address{};
    socklen_t length = 0;
    std::vector<int> queued;
};

TEST(SocketOps, InterruptedConnectIsInProgress) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = ignore_signal;  // no SA_RESTART: the signal interrupts connect()
    sigaction(SIGUSR1, &action, &previous);

    FullListener listener;
    const int fd = platform::open_stream_socket(AF_INET);
    platform::set_blocking(fd, true);  // a blocking connect waits, so a signal can interrupt it

    std::atomic<bool> has_returned{false};
    const pthread_t connecting_thread = pthread_self();
    std::thread interrupter([&] {
        const auto give_up = std::chrono::steady_clock::now() + test_support::give_up_after(std::chrono::seconds(10));
        while (!has_returned && std::chrono::steady_clock::now() < give_up) {
            pthread_kill(connecting_thread, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the signal's period
        }
    });
    const int error = platform::start_connect(fd, reinterpret_cast<sockaddr*>(&listener.address), listener.length);
    has_returned = true;
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);
    platform::close_socket(fd);

    EXPECT_EQ(error, EINPROGRESS);
}

}  // namespace
