#pragma once

#include <cstddef>
#include <string>

class IPCConn;
class Message;

// The wire protocol of one connection: turns received bytes into messages and messages into bytes.
// Owned by its connection, which deletes it when it installs another one or is itself destroyed.
// Runs on the loop thread (receive side) and on the sending thread (transmit side), both under the
// manager's lock.
class IPCProtocol {
public:
    explicit IPCProtocol(IPCConn* connection) : conn(connection) {}
    virtual ~IPCProtocol() = default;
    IPCProtocol(const IPCProtocol&) = delete;
    IPCProtocol& operator=(const IPCProtocol&) = delete;

    // Back to a clean state; the connection calls this when it closes.
    virtual void reset() {}
    virtual bool is_connection_bound() const { return true; }
    // Whether a request read here still waits for a reply its endpoint put off.
    virtual bool is_reply_owed() const { return false; }
    // The connection's state changed; read it from conn.
    virtual void on_state() {}
    // Takes what it can of received input, which begins with what it left the last time, and
    // returns how many leading bytes it took; the connection keeps the rest (IPCConn::input()) and
    // offers it again with the next bytes. Messages are decoded where they lie.
    virtual size_t receive_data(const char* /*data*/, size_t length) { return length; }
    // True when the kept input may hold more than the start of a message: framing stopped there
    // while the connection's reading was held, and goes on once the hold has ended.
    virtual bool has_pending_input() const { return false; }
    // Non-zero when the message was taken into the send buffer, 0 when it was not sent.
    virtual int transmit_message(const Message& /*message*/) { return 0; }
    virtual bool delivers_unsubscribed(const std::string& /*name*/) const { return false; }
    // The accepting server's tick: a protocol with deadlines of its own checks them here.
    virtual void on_tick() {}
    // Everything queued on the connection has been written to the socket.
    virtual void on_drained() {}
    // Bytes of storage it holds for messages between calls, beyond what the connection buffers.
    virtual size_t bytes_held() const { return 0; }

    // A client or server protocol by exact name ("xmls"), or null with a debug log line for any
    // other name.
    // The knot between net/ and the room above it: the connections and the manager make protocols
    // by name through these two, but they are defined with the table of every protocol, beside the
    // protocols it names (ipc/protocols/ipc_protocol_table.cpp). Both rooms go into kestrane_ipc.
    static IPCProtocol* create_client(const std::string& name, IPCConn* conn);
    static IPCProtocol* create_server(const std::string& name, IPCConn* conn);

protected:
    // A request this protocol will not put on the wire: a warning, and the endpoint gets a failed
    // "resp" (400) with the request's "seq", as if the peer had refused it.
    void refuse_request(const char* protocol_name, const Message& request, const std::string& reason);

    IPCConn* const conn;  // the owning connection; never null
};
