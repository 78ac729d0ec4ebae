#include "ipc/net/ipc_server_stream.h"

#include <cerrno>

#include "ipc/base/ipc_clock.h"
#include "ipc/base/logger.h"
#include "ipc/net/socket_callback.h"
#include "platform/error_text.h"
#include "platform/socket_ops.h"

bool IPCServerStream::wants_read() const {
    return IPCServer::wants_read() && ipc_now_us() >= paused_until_us_;
}

uint32_t IPCServerStream::max_wait_ms() const {
    const int64_t remaining_us = paused_until_us_ - ipc_now_us();
    return remaining_us > 0 ? static_cast<uint32_t>(remaining_us / 1000) + 1 : 0;
}

bool IPCServerStream::open(const IPCAddress& address) {
    close();
    address_ = address;
    const int fd =
        platform::open_listening_socket(address.sockaddr_ptr(), address.length(), static_cast<int>(backlog_));
    if (fd < 0) {
        set_error(platform::last_error_text());
        return false;
    }
    // Keep the address the kernel bound (the real port when 0 was asked for).
    sockaddr_storage bound{};
    socklen_t length;
    const IPCAddress local = platform::local_address(fd, &bound, &length)
                                 ? IPCAddress(reinterpret_cast<const sockaddr*>(&bound), length)
                                 : address;
    attach(fd, local);
    return true;
}

void IPCServerStream::accept_connections() {
    while (is_open()) {
        sockaddr_storage peer{};
        socklen_t length;
        const int fd = platform::accept_connection(fd_, &peer, &length);
        if (fd < 0) {
            const int error = errno;
            if (error == EMFILE || error == ENFILE) {
                paused_until_us_ = ipc_now_us() + kDescriptorPauseUs;
                // The loop must come back when the pause ends, without any event.
                if (owner_) owner_->wake();
                if (!has_logged_pause_) {
                    ipc_logger().log(2, "ipc server %s: %s; not accepting for a second", name_.c_str(),
                                     platform::error_text(error).c_str());
                    has_logged_pause_ = true;
                }
            }
            return;
        }
        has_logged_pause_ = false;
        adopt_connection(fd, IPCAddress(reinterpret_cast<const sockaddr*>(&peer), length));
    }
}
