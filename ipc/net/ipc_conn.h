#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ipc/net/ipc_socket.h"

struct IPCDroppedFrame;
class IPCEndpointClient;
class IPCEndpointServer;
class IPCProtocol;
class IPCServer;
class Message;

// A socket with a connection state, its endpoints, an owned protocol object and a send buffer.
// The protocol turns bytes into messages (on_data -> receive_data -> rx_message or handle_request)
// and messages into bytes (send -> transmit_message -> send_data). A client connection belongs to
// its client endpoint; an accepted one to the server that accepted it, and picks its protocol from
// the first byte it receives unless the server names one.
//
// Received bytes go to the protocol where they were read; only what it leaves (the start of a
// message, or input behind a read hold) is kept, in one input buffer, and offered again with the
// next bytes. The send buffer is written from an offset and emptied once all of it has gone; then
// it keeps at most kKeptSendBytes of storage, so a connection at rest holds no answer it sent.
//
// Threads: as IPCSocket: the loop thread owns it; a thread that sends holds the manager's lock.
class IPCConn : public IPCSocket {
public:
    enum State { CLOSED = 0, CONNECTING = 2, CONNECTED = 4 };
    static constexpr uint32_t kDefaultSendLimit = 2097152;
    static constexpr uint32_t kDefaultReceiveLimit = 2097152;
    static constexpr size_t kKeptSendBytes = 16384;
    // The slowest a frame may arrive and still keep a link alive: a 64 kbit/s link carries eight
    // times as much, and a codec that trickles less is of no use to the operator.
    static constexpr int64_t kSlowestFrameBytesPerS = 1024;

    // A connection for the transport ("stream"), or null for any other transport.
    static IPCConn* create(SocketCallback* owner, const std::string& transport, int option);

    IPCConn(SocketCallback* owner, int option);
    ~IPCConn() override;

    bool wants_write() const override;
    void close() override;
    virtual std::string describe() const { return {}; }

    // The protocols' one way to send: appends to the send buffer and writes at once. A buffer left
    // above the send limit fails the connection.
    void send_data(const std::string& bytes);
    // The same for bytes the caller gives up: when nothing else waits they become the send buffer
    // as they are, without a copy.
    void send_data(std::string&& bytes);
    // Hands the message to the protocol; false when the protocol cannot take it yet. With no
    // protocol the message goes nowhere and the answer is true.
    bool send(const Message& message);
    // A message the protocol decoded, for the client endpoint; dropped when there is none.
    void rx_message(const Message& message);
    // The same for a decoded message the protocol drops afterwards: the endpoint may take it over.
    void rx_message(Message&& message);
    // A request the server protocol decoded, for the server endpoint. True when the reply is to be
    // sent now; without a server endpoint the reply is a 500 error.
    bool handle_request(const Message& request, Message& reply);
    // A frame the protocol dropped, for the client endpoint (IPCEndpointClient::on_frame_dropped);
    // written to the log at "detail" in any case.
    void report_dropped_frame(const IPCDroppedFrame& frame);
    // A message the protocol read with bytes outside UTF-8 taken as Latin-1 characters, for the
    // client endpoint (IPCEndpointClient::on_latin1_text).
    void report_latin1_text();
    // Bytes read from the socket, for the protocol.
    void on_data(std::string_view bytes);
    // Received bytes the protocol has not taken yet.
    const std::string& input() const { return input_; }
    // Microseconds, summed over the connection's life, that passed between reads while a frame was
    // still arriving: a large answer over a slow link takes seconds without being late. A frame
    // excuses no more than its bytes take at kSlowestFrameBytesPerS, so that a trickle is not taken
    // for a slow link; the silence after its last byte counts from that byte, and is excused only
    // when more bytes come soon enough.
    int64_t arriving_frames_us() const { return arriving_frames_us_; }
    // When the bytes received last showed the link alive: the last read that ended a frame or began
    // one, or a read of a frame still arriving as far as its bytes reach at kSlowestFrameBytesPerS.
    // The idle time-out counts from here, not from every byte.
    int64_t last_live_us() const {
        return frame_started_us_ != 0 ? frame_started_us_ + frame_excused_us_ : last_live_us_;
    }
    // Bytes of a frame came after last_live_us(): the link carries them too slowly to be of use.
    bool is_trickling() const { return frame_started_us_ != 0 && last_received_us() > last_live_us(); }
    // The frame still arriving, for a report of a trickle: its bytes so far and when it began (0:
    // none arriving).
    uint64_t arriving_frame_bytes() const { return frame_bytes_; }
    int64_t arriving_frame_started_us() const { return frame_started_us_; }
    bool has_pending_input() const override;
    void resume_input() override;

    void set_protocol(IPCProtocol* protocol);  // takes ownership; deletes the previous one
    void set_client_protocol(const std::string& name);
    void set_server_protocol(const std::string& name);
    // Asks for a switch to another protocol once the current input has been handled.
    void set_protocol_name(const std::string& name) { pending_protocol_ = name; }
    void change_protocol();

    int state() const { return state_; }
    void set_state(int state);

    IPCEndpointClient* endpoint_client() const { return endpoint_client_; }
    void set_endpoint_client(IPCEndpointClient* endpoint) { endpoint_client_ = endpoint; }
    IPCEndpointServer* endpoint_server() const { return endpoint_server_; }
    // The server endpoint, made by the accepting server for the first request; null on a
    // connection no server accepted.
    IPCEndpointServer* find_or_create_endpoint_server();
    // A connection serves one endpoint: a different one linked before is detached from it.
    void set_endpoint_server(IPCEndpointServer* endpoint);
    void clear_endpoints();
    // The server that accepted this connection; null for a client connection.
    IPCServer* server() const { return server_; }
    void set_server(IPCServer* server) { server_ = server; }

    IPCProtocol* protocol() const { return protocol_; }
    // Bytes queued and not yet written.
    std::string_view send_buffer() const;
    // Bytes of storage held for messages: the send and input buffers and what the protocol keeps.
    size_t bytes_held() const;
    // When the socket last took bytes of the send buffer; 0 before it ever did.
    int64_t last_sent_us() const { return last_sent_us_; }
    uint32_t send_limit() const { return send_limit_; }
    void set_send_limit(uint32_t limit) { send_limit_ = limit; }
    // The most received bytes a protocol may keep while it waits for the end of a message.
    uint32_t receive_limit() const { return receive_limit_; }
    void set_receive_limit(uint32_t limit) { receive_limit_ = limit; }
    int option() const { return option_; }

protected:
    void notify_state();
    // An accepted connection without a protocol takes the one its first byte announces.
    void choose_server_protocol(char first_byte);
    // Offers the protocol the input, which is input_ itself when `is_kept`; keeps what it leaves.
    // Returns the bytes the protocol took.
    size_t deliver(const char* data, size_t length, bool is_kept);
    // Follows the frame still arriving after a read of `length` bytes, of which the protocol took
    // `taken`: how much of the time since it began its bytes excuse (arriving_frames_us), and when
    // the link last showed itself alive (last_live_us).
    void note_partial_frame(int64_t now_us, size_t length, size_t taken);
    void forget_partial_frame();
    // Marks `sent` more bytes of the send buffer as written.
    void consume_sent(size_t sent);
    // Tries to write what send_data() queued; fails the connection when too much stays.
    void write_queued();

    int state_ = CLOSED;
    IPCEndpointClient* endpoint_client_ = nullptr;  // not owned
    IPCEndpointServer* endpoint_server_ = nullptr;  // not owned (the server owns it)
    IPCServer* server_ = nullptr;                   // not owned
    IPCProtocol* protocol_ = nullptr;               // owned
    std::string send_buffer_;
    size_t send_offset_ = 0;  // bytes at the front of send_buffer_ already written
    int64_t last_sent_us_ = 0;
    std::string input_;
    int64_t frame_started_us_ = 0;  // the read that left a frame not yet whole; 0: none arriving
    uint64_t frame_bytes_ = 0;      // bytes of that frame received so far
    int64_t frame_excused_us_ = 0;  // of its time so far, what its bytes excuse
    int64_t last_live_us_ = 0;
    int64_t arriving_frames_us_ = 0;
    uint64_t close_count_ = 0;  // tells deliver() that a handler closed the connection
    std::string pending_protocol_;
    uint32_t send_limit_ = kDefaultSendLimit;
    uint32_t receive_limit_ = kDefaultReceiveLimit;
    int option_;
};
