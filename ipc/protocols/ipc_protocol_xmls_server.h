#pragma once

#include <list>
#include <string>

#include "ipc/message/message.h"
#include "ipc/protocols/ipc_protocol_xmls.h"

class IPCEndpointServer;

// The server side of xmls: greets clients, runs the challenge-response login that the xmls client
// answers, answers "ping" and the cross-domain policy request itself, and passes every other request
// to the connection's server endpoint. Clients that never send a protocol version (version 0) get
// replies named after their request instead of "resp", one at a time: while a version-0 reply is
// put off, reading from the connection is held, and the requests behind it wait until it has gone.
//
// Messages the endpoint sends while a request is being handled are held and written after that
// request's reply. A connection that fails kMaxRefusedLogins logins is dropped.
class IPCProtocolXMLSServer : public IPCProtocolXMLS {
public:
    static constexpr int kMaxRefusedLogins = 5;

    using IPCProtocolXMLS::IPCProtocolXMLS;

    int transmit_message(const Message& message) override;
    bool delivers_unsubscribed(const std::string& name) const override;
    void receive_message(Message& request) override;

    void transmit_reply(const Message& reply);
    void send_challenge(Message& reply);
    void check_login(const Message& request, Message& reply);
    void send_policy(Message& reply);
    void send_pong(Message& reply);

    bool is_logged_in() const { return is_logged_in_; }
    uint32_t peer_version() const { return peer_version_; }

    // The name a version-0 client expects for the reply to `request_name`.
    static std::string legacy_reply_name(const std::string& request_name);

private:
    void answer(const Message& request, Message& reply);
    // True when the request was answered here (login, policy, ping) or refused for want of a login.
    bool answer_before_dispatch(const Message& request, Message& reply);
    void flush_held();

    bool is_logged_in_ = false;
    uint32_t peer_version_ = 0;
    std::string deferred_reply_name_;
    bool is_holding_ = false;
    std::list<Message> held_;
    int refused_logins_ = 0;
};
