#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "ipc/message/message.h"
#include "ipc/net/ipc_endpoint.h"

class IPCEndpointServer;
struct IPCDroppedFrame;

// The client side of a conversation, and the base of every codec session. It sends requests
// (queueing them while the connection cannot take them), subscribes again after every reconnection,
// tells replies ("resp") from unsolicited messages, and reports connection state and login through
// virtual operations that a session overrides.
//
// The queue keeps at most kQueueLimit requests, oldest first, plus at most one internal "subscribe"
// listing every current subscription, which the limit never evicts. A request leaves the queue before it is sent and
// goes back to the front when the connection refuses it; a flush started while one runs returns at once.
//
// Threads: as IPCEndpoint. The sessions call send() from the GUI thread while holding the manager's
// lock.
class IPCEndpointClient : public IPCEndpoint {
public:
    static constexpr size_t kQueueLimit = 10;
    // Forwarded requests awaiting their reply; beyond this the oldest is given up.
    static constexpr size_t kMaxForwards = 256;

    IPCEndpointClient();
    // An endpoint registered from outside is unregistered (IPCManager::remove_endpoint) before it is
    // destroyed, while its overrides still exist; destroying one still registered is a misuse
    // (ipc_report_misuse), after which it unregisters itself.
    ~IPCEndpointClient() override;

    void on_connection_state() override;
    // The idle check, and forwarded requests unanswered for the time-out are given up.
    void tick() override;
    // The idle check's, and the oldest forwarded request's time-out.
    int64_t next_tick_due_us() const override;
    void on_timeout() override;

    virtual void on_authenticated();
    virtual void on_auth_failed() {}
    virtual std::string getUser() const { return "user"; }
    virtual std::string getPassword() const { return {}; }
    // Seconds before a closed connection is reopened; 0 drops it instead.
    virtual int reconnect_delay() const { return 10; }
    virtual int protocol_version() const { return 1; }
    virtual void on_protocol_changed(const std::string& /*protocol*/) {}
    virtual void handle_response(const Message& /*reply*/) {}
    virtual void handle_unsolicited(const Message& /*message*/) {}
    virtual void handle_unso_payload(const std::string& /*id*/, const Message& /*payload*/) {}
    // A frame from the peer that could not be read was dropped by itself; the connection stays up
    // and the next frame is read. Nothing by default (the connection logs it at "detail").
    virtual void on_frame_dropped(const IPCDroppedFrame& /*frame*/) {}
    // A message from the peer was read with bytes outside UTF-8 taken as Latin-1 characters (as
    // a peer that writes Latin-1 means them). Called for each such message; nothing by default.
    virtual void on_latin1_text() {}

    void send(const Message& message);
    void receive(const Message& message);
    // As receive(), for a message nobody needs afterwards: a handler may take() it instead of
    // copying it. A handler that takes the message it is given leaves nothing for
    // handle_unso_payload.
    void receive(Message&& message);
    void subscribe(const std::string& name, uint32_t interval_ms);
    void unsubscribe(const std::string& name);
    void flush_queue();
    // Relays a request that a server endpoint received to this endpoint's peer; the reply goes back
    // to that server endpoint with the requester's own "seq". At most kMaxForwards wait for their
    // reply, each for no longer than the endpoint's time-out (when it has one).
    void forward(const Message& request, const IPCEndpointServer& origin);
    size_t forward_count() const { return forwards_.size(); }

    // Attaches a new connection, releasing the current one (deleted on the loop thread).
    void set_connection(IPCConn* connection);
    // Releases the connection for good; the endpoint then has none.
    void drop_connection();
    // Called by a connection that is being destroyed: forget it without deleting it.
    void detach_connection(IPCConn* connection);

    int version() const { return version_; }
    void set_version(int version) { version_ = version; }
    size_t queued_count() const { return queue_.size(); }

protected:
    void tick_due_changed() override;
    // The message to keep: moved out of the received message when `message` is that one (see
    // receive(Message&&)), else copied.
    Message take(const Message& message);

private:
    void release_connection();
    void enqueue(const Message& message);
    static bool is_internal_subscribe(const Message& message);
    // A request with "seq" = "internal", whose reply the endpoint drops.
    static Message internal_request(const char* name);
    // A "subscribe" carrying every stored subscription, in name order.
    Message subscription_list_request() const;
    static void add_subscription(Message& request, const std::string& id, uint32_t interval_ms);

    struct ForwardRecord {
        std::string seq;          // the requester's own "seq"
        std::string server;       // the server of the requesting endpoint
        std::string endpoint_id;  // the requesting endpoint's id in that server
        uint32_t number;          // N of "fwd-N": the oldest has the lowest
        int64_t forwarded_us;     // when the request went out
    };

    // A reply whose "seq" names a forwarded request goes back to where the request came from.
    void return_forwarded_reply(const Message& reply, const std::string& seq);
    // Forgets forwarded requests older than the time-out, and the oldest ones beyond `keep`.
    void give_up_forwards(size_t keep);

    std::deque<Message> queue_;                      // copies of refused requests, oldest first
    std::map<std::string, ForwardRecord> forwards_;  // by "fwd-N"; dropped when the connection closes
    uint32_t forward_counter_ = 0;
    bool is_flushing_ = false;
    Message* takeable_ = nullptr;  // the received message while its handlers run (loop thread)
    int version_ = 1;
};
