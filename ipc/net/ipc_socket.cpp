#include "ipc/net/ipc_socket.h"

#include <cerrno>

#include "ipc/base/ipc_clock.h"
#include "ipc/base/logger.h"
#include "ipc/net/socket_callback.h"
#include "platform/error_text.h"
#include "platform/socket_ops.h"

IPCSocket::IPCSocket(SocketCallback* owner) : owner_(owner) {}

IPCSocket::~IPCSocket() {
    release_descriptor();
}

void IPCSocket::release_descriptor() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    // The owner stops watching while the number still names this socket's descriptor.
    watch_changed();
    if (is_aborted_) {
        platform::abort_socket(fd);
    } else {
        platform::close_socket(fd);
    }
    is_aborted_ = false;
    closed_us_ = ipc_now_us();
}

void IPCSocket::close() {
    release_descriptor();
    is_failed_ = false;
    is_aborted_ = false;
}

bool IPCSocket::attach(int fd, const IPCAddress& address) {
    release_descriptor();
    is_failed_ = false;
    is_aborted_ = false;
    error_.clear();
    is_closed_by_peer_ = false;
    if (fd < 0) return false;
    fd_ = fd;
    opened_us_ = ipc_now_us();
    address_ = address;
    platform::set_blocking(fd_, false);
    watch_changed();
    return true;
}

void IPCSocket::watch_changed() {
    if (owner_) owner_->socket_callback(this);
}

void IPCSocket::on_peer_closed() {
    fail_closed_by_peer("remote disconnect");
}

void IPCSocket::set_error(const std::string& text) {
    ipc_logger().log(6, "socket %s failed: %s", address_.to_string().c_str(), text.c_str());
    error_ = text;
    is_failed_ = true;
    is_closed_by_peer_ = false;
    if (owner_) owner_->wake();
}

void IPCSocket::abort(const std::string& text) {
    is_aborted_ = true;
    set_error(text);
}

void IPCSocket::fail_closed_by_peer(const std::string& text) {
    set_error(text);
    is_closed_by_peer_ = true;
}

void IPCSocket::fail_open(const std::string& text) {
    closed_us_ = ipc_now_us();
    set_error(text);
}

void IPCSocket::shut_down_sending() {
    if (fd_ >= 0) platform::shutdown_write(fd_);
}

void IPCSocket::send_without_delay() {
    if (fd_ >= 0) platform::send_without_delay(fd_);
}

long IPCSocket::unacknowledged_bytes() const {
    return fd_ >= 0 ? platform::unacknowledged_bytes(fd_) : -1;
}

void IPCSocket::set_read_hold(bool is_held) {
    if (read_hold_ == is_held) return;
    read_hold_ = is_held;
    watch_changed();
    // Input kept during the hold is handed on by the loop, which must come round for it.
    if (!is_held && owner_) owner_->wake();
}

void IPCSocket::stamp_received() {
    rx_us_ = ipc_now_us();
}

int IPCSocket::closed_for_s() const {
    return static_cast<int>((ipc_now_us() - closed_us_) / 1000000);
}

int64_t IPCSocket::open_for_us() const {
    return ipc_now_us() - opened_us_;
}

int IPCSocket::idle_rx_s() const {
    return static_cast<int>((ipc_now_us() - rx_us_) / 1000000);
}

std::string ipc_socket_error_text() {
    return errno == 0 ? std::string() : platform::error_text(errno);
}
