#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "tests/support/deadline_factor.h"

namespace test_support {

// A plain blocking TCP client that speaks NUL-terminated frames, or any bytes, for driving servers
// in tests without the library's own client in the way.
class FrameClient {
public:
    // Connects to host:port ("127.0.0.1" or "::1"); is_connected() tells whether it worked.
    FrameClient(const std::string& host, uint16_t port);
    ~FrameClient();
    FrameClient(const FrameClient&) = delete;
    FrameClient& operator=(const FrameClient&) = delete;

    bool is_connected() const { return fd_ >= 0; }
    // Sends the XML text followed by one NUL.
    bool send_frame(const std::string& xml);
    bool send_bytes(const std::string& bytes);
    // The next frame without its NUL; empty when none arrives in time or the peer closed.
    std::string read_frame(std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(5)));
    // What arrives up to and including the next `end`; empty when it does not come in time.
    std::string read_until(const std::string& end,
                           std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(5)));
    // The next `count` bytes; empty when they do not all come in time.
    std::string read_count(size_t count, std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(5)));
    // True once the peer has closed the connection (waits up to the deadline for it). A deadline
    // given is taken as it is: a give-up deadline is scaled by the caller, a pace is not.
    bool wait_for_close(std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(5)));

private:
    // Reads whatever arrives within the time left; false on close, error or time-out.
    bool fill(std::chrono::steady_clock::time_point give_up);

    int fd_ = -1;
    bool is_closed_by_peer_ = false;
    std::string buffer_;
};

}  // namespace test_support
