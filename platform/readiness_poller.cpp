#include "platform/readiness_poller.h"

#include <cerrno>

namespace platform {

void ReadinessPoller::begin(int wake_fd) {
    ++serial_;
    entries_.clear();
    entries_.push_back(pollfd{wake_fd, POLLIN, 0});
}

size_t ReadinessPoller::add(int fd, bool wants_read, bool wants_write) {
    short events = POLLRDHUP;
    if (wants_read) events |= POLLIN;
    if (wants_write) events |= POLLOUT;
    entries_.push_back(pollfd{fd, events, 0});
    return entries_.size() - 1;
}

int ReadinessPoller::wait(int timeout_ms) {
    for (auto& entry : entries_) entry.revents = 0;
    if (poll(entries_.data(), entries_.size(), timeout_ms < 0 ? -1 : timeout_ms) >= 0) return 0;
    const int error = errno;
    for (auto& entry : entries_) entry.revents = 0;
    return error == EINTR ? 0 : error;
}

Readiness ReadinessPoller::result(size_t slot) const {
    Readiness readiness;
    if (slot >= entries_.size()) return readiness;
    const short revents = entries_[slot].revents;
    readiness.is_readable = (revents & POLLIN) != 0;
    readiness.is_writable = (revents & POLLOUT) != 0;
    readiness.is_peer_closed = (revents & (POLLRDHUP | POLLHUP)) != 0;
    readiness.has_error = (revents & (POLLERR | POLLNVAL)) != 0;
    return readiness;
}

}  // namespace platform
