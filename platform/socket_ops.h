#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>

namespace platform {

// Thin, errno-reporting wrappers over the BSD socket calls the transport uses. Every descriptor is
// created non-blocking and close-on-exec; every send uses MSG_NOSIGNAL so a peer that has gone away
// gives EPIPE, never SIGPIPE. Functions that can fail return -1 (or an errno value where stated) and
// leave errno set; none of them logs.

// A non-blocking TCP socket of the family (AF_INET or AF_INET6), or -1.
int open_stream_socket(int family);

// Starts a connect. Returns 0 when connected at once, else the errno: EINPROGRESS while pending,
// also when a signal interrupted the call.
int start_connect(int fd, const sockaddr* address, socklen_t length);

// The pending error of a socket (SO_ERROR), 0 when none. When getsockopt itself fails, its errno.
int pending_socket_error(int fd);

ssize_t send_bytes(int fd, const char* data, size_t length);
ssize_t receive_bytes(int fd, char* buffer, size_t capacity);

// A listening TCP socket bound to the address (SO_REUSEADDR; IPv6 sockets are IPv6-only), or -1.
int open_listening_socket(const sockaddr* address, socklen_t length, int backlog);
// Accepts one pending connection as a non-blocking, close-on-exec socket, or -1 (EAGAIN when none).
int accept_connection(int listening_fd, sockaddr_storage* peer, socklen_t* peer_length);
// The local address a socket is bound to (for a listener on port 0); false on failure.
bool local_address(int fd, sockaddr_storage* address, socklen_t* length);

int set_blocking(int fd, bool is_blocking);
// Sends small writes at once (TCP_NODELAY) instead of holding them for the peer's delayed ACK.
void send_without_delay(int fd);
// Ends the sending direction (FIN) while reading goes on; what was written still arrives.
void shutdown_write(int fd);
// Bytes written to the socket that the peer has not acknowledged yet (SIOCOUTQ), or -1.
long unacknowledged_bytes(int fd);
void close_socket(int fd);
// Closes with a reset (SO_LINGER of zero): what the socket still holds unsent or unacknowledged is
// dropped, never delivered later, and the peer's next read ends with ECONNRESET. What the peer's
// system acknowledged before is in its receive queue already: a peer that reads late may read it.
void abort_socket(int fd);

// Errors after which the operation is simply tried again on the next readiness event.
bool is_transient_error(int error_number);

}  // namespace platform
