#include "tests/support/scripted_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tests/support/wait_until.h"

namespace test_support {

ScriptedPeer::ScriptedPeer(bool is_ipv6) : is_ipv6_(is_ipv6) {
    sockaddr_storage storage{};
    socklen_t length;
    if (is_ipv6) {
        auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_addr = in6addr_loopback;
        length = sizeof(sockaddr_in6);
    } else {
        auto* address = reinterpret_cast<sockaddr_in*>(&storage);
        address->sin_family = AF_INET;
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof(sockaddr_in);
    }
    listen_fd_ = socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        listen(listen_fd_, 16) != 0 || getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        throw std::runtime_error(std::string("ScriptedPeer: ") + std::strerror(errno));
    }
    port_ = ntohs(is_ipv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                          : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer() {
    is_stopping_ = true;
    const uint64_t one = 1;
    (void)!write(wake_fd_, &one, sizeof one);
    thread_.join();
    drop_connection();
    close(listen_fd_);
    close(wake_fd_);
}

std::string ScriptedPeer::address_text() const {
    const std::string port = std::to_string(port_);
    return is_ipv6_ ? "[::1]:" + port : "127.0.0.1:" + port;
}

void ScriptedPeer::set_responder(Responder responder) {
    std::lock_guard<std::mutex> lock(mutex_);
    responder_ = std::move(responder);
}

void ScriptedPeer::set_refuse_connections(bool is_refusing) {
    is_refusing_ = is_refusing;
}

void ScriptedPeer::set_frame_end(const std::string& frame_end) {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_end_ = frame_end;
}

void ScriptedPeer::send(const std::string& bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        outgoing_ += bytes;
    }
    const uint64_t one = 1;
    (void)!write(wake_fd_, &one, sizeof one);
}

void ScriptedPeer::close_connection() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        is_close_requested_ = true;
    }
    const uint64_t one = 1;
    (void)!write(wake_fd_, &one, sizeof one);
}

std::vector<std::string> ScriptedPeer::frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

bool ScriptedPeer::wait_for_frames(size_t count, std::chrono::milliseconds deadline) const {
    return wait_until([&] { return frames().size() >= count; }, deadline);
}

bool ScriptedPeer::wait_for_connections(int count, std::chrono::milliseconds deadline) const {
    return wait_until([&] { return connection_count_ >= count; }, deadline);
}

void ScriptedPeer::run() {
    while (!is_stopping_) {
        flush_outgoing();
        pollfd entries[3] = {{wake_fd_, POLLIN, 0}, {listen_fd_, POLLIN, 0}, {connection_fd_, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!outgoing_.empty()) entries[2].events |= POLLOUT;
        }
        const nfds_t count = connection_fd_ >= 0 ? 3 : 2;
        if (poll(entries, count, 1000) < 0) continue;
        if (entries[0].revents & POLLIN) {
            uint64_t drained;
            (void)!read(wake_fd_, &drained, sizeof drained);
        }
        if (entries[1].revents & POLLIN) accept_pending();
        if (count == 3 && (entries[2].revents & (POLLIN | POLLHUP | POLLERR))) read_pending();
    }
}

void ScriptedPeer::accept_pending() {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (is_refusing_) {
        close(fd);
        return;
    }
    drop_connection();  // one connection at a time: a reconnecting client replaces the old one
    {
        std::lock_guard<std::mutex> lock(mutex_);
        partial_frame_.clear();
        outgoing_.clear();
    }
    connection_fd_ = fd;
    ++connection_count_;
}

void ScriptedPeer::read_pending() {
    char buffer[65536];
    const ssize_t received = recv(connection_fd_, buffer, sizeof buffer, 0);
    if (received <= 0) {
        if (received == 0 || (errno != EAGAIN && errno != EINTR)) drop_connection();
        return;
    }
    std::string replies;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        partial_frame_.append(buffer, static_cast<size_t>(received));
        size_t nul;
        while ((nul = partial_frame_.find(frame_end_)) != std::string::npos) {
            const std::string frame = partial_frame_.substr(0, nul);
            partial_frame_.erase(0, nul + frame_end_.size());
            frames_.push_back(frame);
            if (responder_) replies += responder_(frame);
        }
        outgoing_ += replies;
    }
}

void ScriptedPeer::flush_outgoing() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (is_close_requested_) {
        is_close_requested_ = false;
        if (connection_fd_ >= 0) {
            // Everything queued goes out before the close, however long the socket takes.
            fcntl(connection_fd_, F_SETFL, fcntl(connection_fd_, F_GETFL) & ~O_NONBLOCK);
            size_t offset = 0;
            while (offset < outgoing_.size()) {
                const ssize_t sent =
                    ::send(connection_fd_, outgoing_.data() + offset, outgoing_.size() - offset, MSG_NOSIGNAL);
                if (sent <= 0) break;
                offset += static_cast<size_t>(sent);
            }
        }
        outgoing_.clear();
        if (connection_fd_ >= 0) {
            close(connection_fd_);
            connection_fd_ = -1;
        }
        return;
    }
    if (connection_fd_ < 0 || outgoing_.empty()) return;
    const ssize_t sent = ::send(connection_fd_, outgoing_.data(), outgoing_.size(), MSG_NOSIGNAL);
    if (sent > 0) outgoing_.erase(0, static_cast<size_t>(sent));
}

void ScriptedPeer::drop_connection() {
    const int fd = connection_fd_.exchange(-1);
    if (fd >= 0) close(fd);
}

}  // namespace test_support
