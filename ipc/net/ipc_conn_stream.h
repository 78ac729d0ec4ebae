#pragma once

#include "ipc/net/ipc_conn.h"

// A non-blocking TCP connection. One send() of the whole buffer per attempt; one recv() of at most
// 16384 bytes per readiness event, except when the peer has closed: then everything still in the
// socket is read and delivered before the connection fails, so a peer's last words are not lost.
class IPCConnStream : public IPCConn {
public:
    static constexpr size_t kReadChunk = 16384;

    IPCConnStream(SocketCallback* owner, int option);

    bool wants_write() const override;
    bool is_connect_pending() const override { return state_ == CONNECTING; }
    bool open(const IPCAddress& address) override;
    bool attach(int fd, const IPCAddress& address) override;
    void on_writable(bool from_send) override;
    void on_readable() override;
    void on_peer_closed() override;

private:
    enum class ReadResult { Data, Empty, End, Failed };

    void finish_connect();
    // An attempt that failed before it got under way: counted as a close, and told to the endpoint.
    void fail_attempt(const std::string& text);
    // One recv(): delivers what came to the protocol, or fails the connection on a read error.
    ReadResult read_chunk();
};
