#include "ipc/net/ipc_conn_stream.h"

#include <cerrno>

#include "platform/error_text.h"
#include "platform/socket_ops.h"

IPCConnStream::IPCConnStream(SocketCallback* owner, int option) : IPCConn(owner, option) {}

bool IPCConnStream::wants_write() const {
    return IPCConn::wants_write() || state_ == CONNECTING;
}

bool IPCConnStream::open(const IPCAddress& address) {
    // Kept however this attempt ends: the loop retries the same address after the reconnect delay.
    address_ = address;
    if (!address.is_valid()) {
        // Never fall back to connecting to an all-zero address.
        IPCConn::close();
        fail_attempt("invalid address '" + address.to_string() + "'");
        return false;
    }
    const int fd = platform::open_stream_socket(address.family());
    if (fd < 0) {
        // Out of descriptors, for one: the connection fails like any other and is tried again later.
        const int error = errno;
        IPCConn::close();
        fail_attempt(platform::error_text(error));
        return false;
    }
    IPCSocket::attach(fd, address);

    const int error = platform::start_connect(fd_, address_.sockaddr_ptr(), address_.length());
    if (error == 0) {
        set_state(CONNECTED);
        return true;
    }
    if (error == EINPROGRESS || error == EAGAIN) {
        set_state(CONNECTING);
        return true;
    }
    IPCConn::close();
    fail_attempt(platform::error_text(error));
    return false;
}

void IPCConnStream::fail_attempt(const std::string& text) {
    fail_open(text);
    // The connection never left CLOSED, so no change of state tells its endpoint why it failed.
    notify_state();
}

bool IPCConnStream::attach(int fd, const IPCAddress& address) {
    if (!IPCSocket::attach(fd, address)) return false;
    set_state(CONNECTED);
    return true;
}

void IPCConnStream::finish_connect() {
    const int error = platform::pending_socket_error(fd_);
    if (error != 0) {
        set_error(platform::error_text(error));
    } else {
        set_state(CONNECTED);
    }
}

void IPCConnStream::on_writable(bool from_send) {
    if (fd_ < 0) return;
    if (state_ == CONNECTING && !from_send) finish_connect();
    // A failed connection still writes what is queued until the loop closes it, so that a reply
    // explaining the failure ("excessive request rate", a refused login) reaches the peer; an
    // aborted one writes nothing more.
    if (state_ != CONNECTED || is_aborted_ || send_offset_ == send_buffer_.size()) return;

    const ssize_t sent =
        platform::send_bytes(fd_, send_buffer_.data() + send_offset_, send_buffer_.size() - send_offset_);
    if (sent > 0) {
        consume_sent(static_cast<size_t>(sent));
    } else if (sent == 0) {
        set_error("short write");
    } else if (!platform::is_transient_error(errno)) {
        set_error(platform::error_text(errno));
    }
}

IPCConnStream::ReadResult IPCConnStream::read_chunk() {
    char buffer[kReadChunk];
    ssize_t received;
    do {
        received = platform::receive_bytes(fd_, buffer, sizeof buffer);
    } while (received < 0 && errno == EINTR);

    if (received > 0) {
        on_data(std::string_view(buffer, static_cast<size_t>(received)));
        return ReadResult::Data;
    }
    if (received == 0) return ReadResult::End;
    if (platform::is_transient_error(errno)) return ReadResult::Empty;
    set_error(platform::error_text(errno));
    return ReadResult::Failed;
}

void IPCConnStream::on_readable() {
    if (fd_ >= 0 && read_chunk() == ReadResult::End) fail_closed_by_peer("short read");
}

void IPCConnStream::on_peer_closed() {
    // The socket may still hold data sent just before the close: deliver all of it, in order, then
    // fail the connection. A read error (a reset, say) fails it with its own text instead.
    while (fd_ >= 0 && !is_failed_ && read_chunk() == ReadResult::Data) {
    }
    if (fd_ >= 0 && !is_failed_) fail_closed_by_peer("remote disconnect");
}
