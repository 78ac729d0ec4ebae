#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ipc/message/message.h"
#include "ipc/net/ipc_endpoint.h"

class IPCAddress;
class IPCConn;
class IPCExpendableSessions;

// The server side of one peer: answers its requests (built-in ones and the application's own
// commands), limits the request rate of remote peers, keeps the peer's subscriptions and delivers
// published messages to it as "unso", holds unsolicited messages while the peer cannot take them,
// and keeps the login state and the challenges that the server protocols' logins use.
//
// A server application subclasses it and overrides handle_command (its commands) and password_for
// or lookup_account (its accounts). With no account configured, remote logins are refused.
//
// Threads: lives on its manager's loop thread, owned by its server.
class IPCEndpointServer : public IPCEndpoint {
public:
    static constexpr size_t kMaxPending = 20;
    static constexpr size_t kMaxNonces = 32;
    static constexpr size_t kMaxSubscriptions = 256;
    static constexpr uint32_t kRateLimit = 100;  // requests per window
    static constexpr uint32_t kRateWindowS = 5;

    IPCEndpointServer();
    ~IPCEndpointServer() override;

    void on_timeout() override { is_closed_ = true; }
    void touch() override;

    virtual void send_deferred(const Message& message);
    // Whether a message published under `name` goes to this peer now (at most once per interval).
    virtual bool is_due(const std::string& name);
    virtual uint32_t subscription(const std::string& name) const;
    // Delivers `message` wrapped as <unso id="name">message</unso> when it is due.
    virtual void notify(const Message& message, const std::string& name);
    // Whether the attached connection's peer must log in (always, with no connection).
    bool needs_auth() const;
    // Whether a peer at that address must log in: false only for an IPv4 loopback peer (127.x).
    // The HTTP sessions ask it for the connection of a request before binding to it.
    virtual bool needs_auth_from(const IPCAddress& peer) const;
    // The password and role of `user`; false refuses the user. The base takes the password from
    // password_for and refuses users without one, so a server with no accounts accepts no login.
    virtual bool lookup_account(const std::string& user, std::string& password, std::string& role) const;
    virtual std::string password_for(const std::string& user) const;
    virtual bool handle_command(const Message& request, Message& reply);

    // Attaches the connection and links it back to this endpoint. A different connection attached
    // before is released (closed) when its protocol binds endpoints to connections; an HTTP session's
    // is only unlinked, so that a browser's parallel connections stay open.
    void set_conn(IPCConn* connection);
    // Closes and forgets the connection without deleting it: the server owns connections.
    void release_connection();
    // Called by a connection that is being destroyed.
    void detach_connection(IPCConn* connection);

    // Answers one request; true when the reply has a name and is to be sent.
    bool handle_request(const Message& request, Message& reply);
    // Delivers an unsolicited message now, or holds it (the newest kMaxPending) until the peer can
    // take it.
    void send_unso(const Message& message);
    bool pop_pending(Message& out);

    // Challenges and Digest nonces: 32 lower-case hex digits from 16 random bytes.
    std::string new_nonce(bool forget_older);
    bool find_nonce(const std::string& nonce) const;
    bool pop_nonce(std::string& out);
    bool check_nonce_count(const std::string& nonce, uint32_t count);
    // Issued, and no older than max_age_s.
    bool is_nonce_fresh(const std::string& nonce, uint32_t max_age_s) const;
    // Records the nonce count of an accepted Digest answer: false, changing nothing, when the count
    // is not above every count accepted before for that issued nonce (a replay) or the nonce is not
    // one of ours.
    bool raise_nonce_count(const std::string& nonce, uint32_t count);

    void register_command(const std::string& name) { commands_.insert(name); }
    bool find_handler(const std::string& name) const { return commands_.count(name) != 0; }
    bool is_trusted_peer() const;

    const std::string& id() const { return id_; }
    void set_id(const std::string& id) { id_ = id; }
    bool is_closed() const { return is_closed_; }
    void mark_closed() { is_closed_ = true; }
    bool is_authenticated() const { return is_authenticated_; }
    const std::string& user() const { return user_; }
    const std::string& role() const { return role_; }
    // Set by the server protocols' login checks.
    void set_login(bool is_authenticated, const std::string& user, const std::string& role);
    // The list of its server's that this session reports its activity, check and connection to,
    // and is on while it may be given up; null takes it off and stops the reports.
    void set_expendables(IPCExpendableSessions* expendables);
    // A session that answered at most one request, or never passed a login check: without a
    // connection it is given up sooner (IPCServer::kBriefOrphanIdleS).
    bool is_short_lived() const { return handled_requests_ <= 1 || !has_passed_check_; }
    bool has_passed_check() const { return has_passed_check_; }

private:
    // Counts the request; false once the peer has passed the rate limit in this window.
    bool admit_request();
    bool dispatch(const Message& request, Message& reply);
    void report_standing();
    bool subscribe(const Message& request);
    void unsubscribe(const Message& request);
    void set_log_level(const Message& request);
    void list_log_categories(Message& reply) const;

    struct IssuedNonce {
        std::string text;
        int64_t issued_us;
        uint32_t highest_count;  // of the Digest answers accepted with it; 0 = none yet
    };

    std::vector<IssuedNonce> nonces_;  // oldest first
    std::string last_nonce_;
    uint32_t last_nonce_count_ = 0;
    std::deque<Message> pending_;
    bool is_closed_ = false;
    std::string id_;
    // The connection whose request is waiting for a put-off reply, when the session has moved on
    // to another; linked to this endpoint until answered or gone. Not owned.
    IPCConn* owing_connection_ = nullptr;
    IPCExpendableSessions* expendables_ = nullptr;  // not owned: the server's
    bool is_authenticated_ = false;
    bool has_passed_check_ = false;
    uint32_t handled_requests_ = 0;  // saturates
    std::string user_;
    std::string role_;
    std::set<std::string> commands_;
    std::map<std::string, int64_t> last_sent_us_;
    int64_t window_start_us_ = 0;
    uint32_t window_count_ = 0;
};
