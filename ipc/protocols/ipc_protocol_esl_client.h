#pragma once

#include <cstdint>
#include <string>

#include "ipc/http/http_response.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_protocol.h"

// The client of an event-socket server. The wire is text: blocks of "name: value" lines ended by an
// empty line, with a body when "content-length" says so. The server asks for authentication; the
// client answers "auth <password>" and waits for the verdict: "+OK" makes the endpoint ready
// (on_authenticated), anything else fails the connection ("authentication failure",
// on_auth_failed) and nothing the server says after it is read. Then one command is outstanding at
// a time: until its reply has come, and before the verdict, transmit_message refuses and the
// endpoint keeps the requests in its bounded queue.
//
// Requests: "subscribe" and "unsubscribe" with "sub" children ("id", ALL when absent) become
// "event xml ..." and "nixevent ..."; any other request sends its "text" line and its "header"
// children ("name", "value"). Replies come back as "resp" with the request's "seq"; XML events as
// "unso" with "id" = the event name. A command, header or password holding CR or LF is never sent.
class IPCProtocolESLClient : public IPCProtocol {
public:
    // The password when the connection has no endpoint to ask.
    static constexpr const char* kDefaultPassword = "ClueCon";

    explicit IPCProtocolESLClient(IPCConn* connection);

    void reset() override;
    size_t receive_data(const char* data, size_t length) override;
    int transmit_message(const Message& message) override;

    // The event list of a subscription request: plain names, then " CUSTOM " and the names with "::".
    static std::string event_name(const Message& request);

private:
    // A refusal lasts until the connection closes (reset).
    enum class Login { kAwaitingRequest, kAwaitingVerdict, kDone, kRefused };

    // Empties the parser and feeds it a status line, so that the next bytes read as header lines.
    void reset_parser();
    void handle_block();
    void answer_auth_request();
    void take_verdict();
    void refuse_login();
    void take_reply(bool is_api_response);
    void take_event();
    static std::string command_text(const Message& request);

    Login login_ = Login::kAwaitingRequest;
    http_response parser_;
    bool is_busy_ = false;
    Message in_flight_;         // the command last sent; its "seq" and "fmt" shape the reply
    uint64_t reset_count_ = 0;  // tells the reading loop that a handler reset the connection
};
