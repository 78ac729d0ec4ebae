#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// What one wait reported for one descriptor.
struct Readiness {
    bool is_readable = false;
    bool is_writable = false;
    bool is_peer_closed = false;  // the peer shut down its side, or the socket hung up
    bool has_error = false;       // an error is pending on the socket (read it with SO_ERROR)
};

// One wait over a list of descriptors, rebuilt for every wait: begin(), add() each descriptor with
// the readiness it wants now, wait(), then result() per slot. Peer close and errors are always
// watched, even for a descriptor that asks for neither reading nor writing.
//
// Each begin() starts a new wait serial. Callers remember (serial, slot) for each of their objects
// and ask for a result only when the serial still matches: descriptor numbers are reused by the
// kernel and must never be used to find an object again.
class ReadinessPoller {
public:
    // Starts a new wait list whose slot 0 is the wake descriptor (watched for reading).
    void begin(int wake_fd);
    uint64_t serial() const { return serial_; }
    size_t add(int fd, bool wants_read, bool wants_write);

    // Waits at most timeout_ms (negative = no limit). Returns 0, or the errno of a failed poll.
    // An interrupted wait (EINTR) counts as an empty wait and returns 0.
    int wait(int timeout_ms);

    Readiness result(size_t slot) const;
    bool was_woken() const { return !entries_.empty() && (entries_[0].revents & POLLIN) != 0; }
    size_t size() const { return entries_.size(); }

private:
    std::vector<pollfd> entries_;
    uint64_t serial_ = 0;
};

}  // namespace platform
