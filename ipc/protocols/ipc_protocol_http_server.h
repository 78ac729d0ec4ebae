#pragma once

#include <cstdint>
#include <string>

#include "ipc/http/http_request.h"
#include "ipc/http/http_response.h"
#include "ipc/net/ipc_protocol.h"

class MessageAttributes;

// What the HTTP server protocols (mxc, xhr) share: reading requests off an accepted connection and
// answering each with one response, in the order the requests came.
//
// Framing follows what a proxy in front would read. A request without "Content-Length" has no
// body, so pipelined GETs are each answered. A body is capped by the connection's receive limit.
// A request that names a "Transfer-Encoding" gets 501 and the connection is closed once that is
// written: nothing after its head is read as a request, so a smuggled request is never answered.
// Anything else the parser refuses fails the connection with the parser's text.
//
// A reply the endpoint defers holds reading until it arrives through transmit_message, so later
// requests wait and responses are never reordered. So does an answer not yet written out: a peer
// that pipelines requests without reading the answers gets the next one once it has taken those
// before, rather than a send buffer that overflows. Slow peers are cut on the server's tick: a head
// still incomplete, or a body that has not grown, after the server's request timeout fails the
// connection with "request timeout". Between requests, unless it still owes a deferred reply, a
// connection on which no answer was queued and no byte of one was written or taken for too long is
// cut. While the system still holds bytes for the peer, too long is the delivery timeout
// (IPCServer::kDeliveryTimeoutS, or the keep-alive if longer; "delivery timeout"): the system
// shows a slow reader taking bytes only as its window opens, which can be many seconds apart. Once
// it holds nothing more, too long is the keep-alive time ("keep-alive timeout"). So a reader still
// taking its answers is never cut while it is seen taking some at least once a delivery timeout,
// and one that takes nothing is.
//
// Every response allows any origin ("Access-Control-Allow-Origin" and "-Headers" "*"). The answer
// to a HEAD goes out without its body.
//
// Threads: lives on its manager's loop thread. A deferred reply may come through transmit_message
// from any thread that sends through the endpoint, holding the manager's lock as the loop does.
class IPCProtocolHTTPServer : public IPCProtocol {
public:
    explicit IPCProtocolHTTPServer(IPCConn* connection);

    void reset() override;
    bool is_connection_bound() const override { return false; }
    bool is_reply_owed() const override { return is_reply_pending_; }
    size_t receive_data(const char* data, size_t length) override;
    // What the connection keeps is what came after a request whose reply was deferred.
    bool has_pending_input() const override { return true; }
    // A deferred reply answers the request waiting for it; 0 for "unso" or when nothing is owed.
    int transmit_message(const Message& message) override;
    void on_tick() override;
    // The tick's cuts as at `now` (on_tick passes the clock's reading), against the server's
    // deadlines in seconds.
    void check_deadlines(int64_t now, uint32_t request_timeout_s, uint32_t keep_alive_s);
    void on_drained() override { update_read_hold(); }
    // The request being received and what is left of the last response (its head; the body went
    // out with it).
    size_t bytes_held() const override { return request_.bytes_held() + response_.bytes_held(); }

    // The fields of the request's query: the raw query split at "&" and "=", each side
    // percent-decoded once, so "&", "+", "%" and "=" that a client encoded arrive as written.
    static void read_query(const http_request& request, MessageAttributes& fields);
    // The text with control bytes as blanks, fit for a status line.
    static std::string status_reason(const std::string& text);

protected:
    // Answers one complete request in response_ (its protocol already set); status 0 sends nothing
    // now. An exception thrown here answers 400 with its text.
    virtual void handle_request(const http_request& request) = 0;
    // The endpoint's reply as the body of response_.
    virtual void write_reply(const Message& reply) = 0;
    // Last changes before a response to a request goes out (not before the refusal of a
    // transfer coding, which ends the connection).
    virtual void finish_response() {}

    // Hands the request to the connection's endpoint. False when the endpoint defers the reply:
    // reading is then held until the reply comes.
    bool dispatch(const Message& request, Message& reply);
    // The status with a reason made safe for the status line.
    void set_status(uint32_t code, const std::string& reason);
    // No session could be had for the request: 503 when the server is full, else 500.
    void refuse_session();

    http_response response_;  // the response to the request being answered

private:
    // Parses and answers the requests in the input; returns how much was taken, which leaves what
    // follows a deferred request to the connection.
    size_t read_requests(const char* data, size_t length);
    void answer(const http_request& request);
    // Reading waits while a put-off reply is owed or an answer is still unsent.
    void update_read_hold();
    void send_response();
    // Adds the cross-origin headers and a zero length to an empty body, and sends the response.
    void queue_response();
    // 501, then the connection is closed once that is written.
    void refuse_transfer_coding();
    // While answers wait for the peer, in our buffer or still in the system's after our last write,
    // notes whether it has taken any of what the system holds for it since the last tick. Writes
    // alone would show a steady reader as idle: the system takes no more of an answer until the
    // peer has taken much of what it already holds, and after the last write it may hold megabytes.
    void watch_delivery(int64_t now);

    http_request request_;  // the request being received
    bool is_reply_pending_ = false;
    bool is_closing_ = false;  // a 501 is going out: input is dropped until the peer closes
    bool has_shut_down_ = false;
    int64_t request_started_us_ = 0;  // first byte of the request being received; 0 between requests
    int64_t last_input_us_ = 0;
    int64_t idle_since_us_;             // the last response queued, or the connection's start
    bool is_delivery_watched_ = false;  // an answer was queued and the system may still hold some of it
    long unacknowledged_at_tick_ = -1;  // what the system held for the peer at the last look
    int64_t last_taken_us_ = 0;         // when the peer was last seen taking bytes of an answer
};
