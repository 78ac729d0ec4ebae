#pragma once

#include "ipc/protocols/ipc_protocol_xmls.h"

// The client side of xmls, the protocol of every codec connection. On connect it greets ("hello"
// with the endpoint's protocol version, then "ping"), answers the server's challenge with an MD5
// response, and tells the endpoint when the connection is ready (on_authenticated) or the login was
// refused (on_auth_failed). Until ready, application messages are refused and stay queued in the
// endpoint.
//
// A server that answers "ping" with a bare "pong" speaks only the unversioned dialect (version 0):
// the client then logs in with a bare "login", passes every incoming message on under its own name,
// and answers each request it sends with a local "resp" carrying the request's "seq".
class IPCProtocolXMLSClient : public IPCProtocolXMLS {
public:
    using IPCProtocolXMLS::IPCProtocolXMLS;

    void reset() override;
    void on_state() override;
    int transmit_message(const Message& message) override;
    void receive_message(Message& message) override;
    void transmit_xml(const Message& message) override;

    void answer_challenge(const Message& challenge);
    void login_result(const Message& reply);
    void set_ready();
    void fail_login();

    bool is_ready() const { return is_ready_; }

private:
    void receive_unversioned(Message& message);
    // A challenge that arrives after the login answer went out is a refusal, never a new round.
    void on_challenge(const Message& challenge);

    bool is_ready_ = false;
    bool has_answered_challenge_ = false;
};
