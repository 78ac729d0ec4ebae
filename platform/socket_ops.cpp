#include "platform/socket_ops.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int open_stream_socket(int family) {
    return socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

int start_connect(int fd, const sockaddr* address, socklen_t length) {
    if (connect(fd, address, length) == 0) return 0;
    // An interrupted connect goes on in the background and ends as a pending one does; calling
    // connect() again would only report EALREADY.
    return errno == EINTR ? EINPROGRESS : errno;
}

int pending_socket_error(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

ssize_t send_bytes(int fd, const char* data, size_t length) {
    return send(fd, data, length, MSG_NOSIGNAL);
}

ssize_t receive_bytes(int fd, char* buffer, size_t capacity) {
    return recv(fd, buffer, capacity, 0);
}

int open_listening_socket(const sockaddr* address, socklen_t length, int backlog) {
    const int fd = socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    bool ok = setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
    if (ok && address->sa_family == AF_INET6) {
        ok = setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == 0;
    }
    ok = ok && bind(fd, address, length) == 0 && listen(fd, backlog) == 0;
    if (!ok) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

int accept_connection(int listening_fd, sockaddr_storage* peer, socklen_t* peer_length) {
    *peer_length = sizeof *peer;
    int fd;
    do {
        fd = accept4(listening_fd, reinterpret_cast<sockaddr*>(peer), peer_length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool local_address(int fd, sockaddr_storage* address, socklen_t* length) {
    *length = sizeof *address;
    return getsockname(fd, reinterpret_cast<sockaddr*>(address), length) == 0;
}

int set_blocking(int fd, bool is_blocking) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return -1;
    return fcntl(fd, F_SETFL, is_blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

void send_without_delay(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void shutdown_write(int fd) {
    shutdown(fd, SHUT_WR);
}

long unacknowledged_bytes(int fd) {
    int count = 0;
    return ioctl(fd, SIOCOUTQ, &count) == 0 ? count : -1;
}

void close_socket(int fd) {
    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    close(fd);
}

void abort_socket(int fd) {
    const linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
}

bool is_transient_error(int error_number) {
    return error_number == EAGAIN || error_number == EWOULDBLOCK || error_number == EINTR;
}

}  // namespace platform
