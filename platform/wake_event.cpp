#include "platform/wake_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace platform {

WakeEvent::WakeEvent() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WakeEvent::~WakeEvent() {
    close(fd_);
}

void WakeEvent::signal() {
    const uint64_t one = 1;
    // EAGAIN means the counter is already huge: the loop is woken either way.
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool WakeEvent::wait(int timeout_ms) {
    pollfd entry{fd_, POLLIN, 0};
    return poll(&entry, 1, timeout_ms) > 0 && (entry.revents & POLLIN) != 0;
}

void WakeEvent::drain() {
    uint64_t count;
    while (read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace platform
