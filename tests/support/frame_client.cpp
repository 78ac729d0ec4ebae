#include "tests/support/frame_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace test_support {

FrameClient::FrameClient(const std::string& host, uint16_t port) {
    sockaddr_storage storage{};
    socklen_t length;
    if (host.find(':') != std::string::npos) {
        auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_port = htons(port);
        inet_pton(AF_INET6, host.c_str(), &address->sin6_addr);
        length = sizeof(sockaddr_in6);
    } else {
        auto* address = reinterpret_cast<sockaddr_in*>(&storage);
        address->sin_family = AF_INET;
        address->sin_port = htons(port);
        inet_pton(AF_INET, host.c_str(), &address->sin_addr);
        length = sizeof(sockaddr_in);
    }
    fd_ = socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

FrameClient::~FrameClient() {
    if (fd_ >= 0) close(fd_);
}

bool FrameClient::send_frame(const std::string& xml) {
    return send_bytes(xml + std::string(1, '\0'));
}

bool FrameClient::send_bytes(const std::string& bytes) {
    size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t sent = send(fd_, bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        offset += static_cast<size_t>(sent);
    }
    return true;
}

bool FrameClient::fill(std::chrono::steady_clock::time_point give_up) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(give_up - std::chrono::steady_clock::now());
    if (left.count() <= 0 || is_closed_by_peer_) return false;
    pollfd wait{fd_, POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(left.count())) <= 0) return false;
    char chunk[65536];
    const ssize_t received = recv(fd_, chunk, sizeof chunk, 0);
    if (received <= 0) {
        is_closed_by_peer_ = true;
        return false;
    }
    buffer_.append(chunk, static_cast<size_t>(received));
    return true;
}

std::string FrameClient::read_frame(std::chrono::milliseconds deadline) {
    std::string frame = read_until(std::string(1, '\0'), deadline);
    if (!frame.empty()) frame.pop_back();
    return frame;
}

std::string FrameClient::read_until(const std::string& end, std::chrono::milliseconds deadline) {
    const auto give_up = std::chrono::steady_clock::now() + deadline;
    size_t found;
    while ((found = buffer_.find(end)) == std::string::npos) {
        if (!fill(give_up)) return {};
    }
    std::string text = buffer_.substr(0, found + end.size());
    buffer_.erase(0, found + end.size());
    return text;
}

std::string FrameClient::read_count(size_t count, std::chrono::milliseconds deadline) {
    const auto give_up = std::chrono::steady_clock::now() + deadline;
    while (buffer_.size() < count) {
        if (!fill(give_up)) return {};
    }
    std::string text = buffer_.substr(0, count);
    buffer_.erase(0, count);
    return text;
}

bool FrameClient::wait_for_close(std::chrono::milliseconds deadline) {
    const auto give_up = std::chrono::steady_clock::now() + deadline;
    while (!is_closed_by_peer_ && std::chrono::steady_clock::now() < give_up) fill(give_up);
    return is_closed_by_peer_;
}

}  // namespace test_support
