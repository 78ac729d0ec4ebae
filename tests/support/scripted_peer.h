#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/deadline_factor.h"

namespace test_support {

// A TCP peer on loopback for transport tests. It accepts connections one after another, records
// every frame it receives (without the frame end: a NUL unless set_frame_end says otherwise), and
// answers each frame with whatever the
// responder returns (raw bytes, sent as they are). Tests can also push bytes or close the current
// connection at any time. Runs its own thread; every call is thread-safe.
class ScriptedPeer {
public:
    // Given a received frame, the bytes to send back (often one or more frames ending in NUL).
    using Responder = std::function<std::string(const std::string& frame)>;

    // Listens on 127.0.0.1 (or ::1 when is_ipv6) on a free port.
    explicit ScriptedPeer(bool is_ipv6 = false);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t port() const { return port_; }
    std::string address_text() const;  // "127.0.0.1:port" or "[::1]:port"

    void set_responder(Responder responder);
    // What ends a frame: "\n\n" for event-socket commands, "\r\n\r\n" for HTTP heads.
    void set_frame_end(const std::string& frame_end);
    void send(const std::string& bytes);
    void close_connection();
    // When set, each accepted connection is closed at once (an unreachable codec that resets).
    void set_refuse_connections(bool is_refusing);

    std::vector<std::string> frames() const;
    int connection_count() const { return connection_count_; }
    bool is_connected() const { return connection_fd_ >= 0; }
    bool wait_for_frames(size_t count,
                         std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(10))) const;
    bool wait_for_connections(int count,
                              std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(10))) const;

private:
    void run();
    void accept_pending();
    void read_pending();
    void drop_connection();
    void flush_outgoing();

    int listen_fd_ = -1;
    int wake_fd_ = -1;
    std::atomic<int> connection_fd_{-1};
    uint16_t port_ = 0;
    bool is_ipv6_;
    std::atomic<bool> is_stopping_{false};
    std::atomic<bool> is_refusing_{false};
    std::atomic<int> connection_count_{0};

    mutable std::mutex mutex_;  // guards everything below
    Responder responder_;
    std::vector<std::string> frames_;
    std::string partial_frame_;
    std::string frame_end_{'\0'};
    std::string outgoing_;
    bool is_close_requested_ = false;

    std::thread thread_;
};

}  // namespace test_support
