#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ipc/net/ipc_address.h"

class SocketCallback;

// One non-blocking socket served by its owner's loop. The owner watches the descriptor from
// attach() to close() for what wants_read()/wants_write() ask (watch_changed() tells it when that
// may have changed) and calls on_writable(), on_peer_closed() and on_readable() when the descriptor
// is ready, in that order. Any layer reports a broken connection with set_error(): the socket is
// only marked failed and the owner woken; the loop closes it on its next pass and reopens it later.
//
// Threads: owned by the loop thread of its manager. Other threads touch it only while holding the
// manager's lock (sending through an endpoint).
class IPCSocket {
public:
    explicit IPCSocket(SocketCallback* owner);
    virtual ~IPCSocket();
    IPCSocket(const IPCSocket&) = delete;
    IPCSocket& operator=(const IPCSocket&) = delete;

    virtual bool wants_write() const { return false; }
    virtual bool wants_read() const { return !read_hold_; }
    // True while a connect is under way: the loop then reads an error or hang-up as the end of the
    // connect (reported through on_writable) rather than as the peer closing.
    virtual bool is_connect_pending() const { return false; }
    virtual void on_writable(bool /*from_send*/) {}
    virtual void on_readable() {}
    // The peer closed or the socket reported an error. The base fails the socket with
    // "remote disconnect" (fail_closed_by_peer).
    virtual void on_peer_closed();
    // Takes over a connected descriptor (closing any earlier one). False when fd is -1.
    virtual bool attach(int fd, const IPCAddress& address);
    virtual bool open(const IPCAddress& /*address*/) { return false; }
    virtual void close();
    // What the socket waits for may have changed (or its descriptor did): the owner looks again.
    void watch_changed();
    // The owner no longer serves this socket (it has stopped watching it): it is never called again.
    void leave_owner() { owner_ = nullptr; }

    void set_error(const std::string& text);
    // Fails the socket as set_error does, but what it still has to send is dropped: nothing more is
    // written, and the close resets the connection, so that bytes still queued here (a command into
    // a link that stalled) never arrive late. Bytes the peer's system has already acknowledged are
    // beyond recall: a peer that was only frozen may still read them, and act, after the reset.
    void abort(const std::string& text);
    bool is_aborted() const { return is_aborted_; }
    // Sends FIN after what was written, and keeps reading: the peer's last bytes then find an open
    // socket rather than a reset that could destroy the answer it has not read yet.
    void shut_down_sending();
    // Small writes leave at once rather than waiting for the peer to acknowledge earlier ones.
    void send_without_delay();
    // Bytes written that the peer has not acknowledged yet; -1 when closed or unknown. It shrinks
    // as a slow reader takes what the system holds for it.
    long unacknowledged_bytes() const;
    // While held, the socket asks for no reading and received input waits unhandled; releasing the
    // hold wakes the owner, whose loop then hands on what waited (resume_input).
    void set_read_hold(bool is_held);
    bool is_read_held() const { return read_hold_; }
    // Input received before a hold and not yet handled.
    virtual bool has_pending_input() const { return false; }
    virtual void resume_input() {}

    // Whole seconds since the last close / the last received data; large when never.
    int closed_for_s() const;
    int idle_rx_s() const;
    // When bytes last came in, on the ipc_now_us clock; 0 before any did.
    int64_t last_received_us() const { return rx_us_; }
    // Microseconds since the socket was last attached.
    int64_t open_for_us() const;
    // Longest the owner's loop may wait before asking this socket again (for a socket that stops
    // asking for readiness for a while); 0 = no limit.
    virtual uint32_t max_wait_ms() const { return 0; }

    int fd() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    bool is_failed() const { return is_failed_; }
    // Why the socket failed since it was last attached; empty when it has not.
    const std::string& error() const { return error_; }
    // That failure is the peer's end of the connection (fail_closed_by_peer), not an error of the
    // socket or one of ours.
    bool is_closed_by_peer() const { return is_closed_by_peer_; }
    const IPCAddress& address() const { return address_; }
    SocketCallback* owner() const { return owner_; }

    // The owner's registration of the descriptor in its readiness wait; 0 while not watched.
    uint64_t watch_key = 0;

protected:
    // Closes the descriptor, if any, once the owner has stopped watching it; stamps the close.
    void release_descriptor();
    void stamp_received();
    // An open() that got no socket: fails the socket with the text and counts as a close, so that
    // the loop waits out the reconnect delay before the next attempt.
    void fail_open(const std::string& text);
    // Fails the socket as set_error does: the peer ended the connection (is_closed_by_peer).
    void fail_closed_by_peer(const std::string& text);

    SocketCallback* owner_;  // the manager; not owned
    std::string error_;
    IPCAddress address_;
    int fd_ = -1;
    bool is_failed_ = false;
    bool is_aborted_ = false;         // until the close, which resets the connection
    bool is_closed_by_peer_ = false;  // error_ is the peer's end of the connection
    int64_t closed_us_ = 0;
    int64_t opened_us_ = 0;
    int64_t rx_us_ = 0;
    bool read_hold_ = false;
};

// The system's text for the calling thread's last socket error (errno); empty when there is none.
std::string ipc_socket_error_text();
