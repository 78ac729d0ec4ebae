#pragma once

#include <string>

#include "ipc/message/message.h"
#include "ipc/protocols/ipc_protocol_http_client.h"

class http_request;

// An HTTP client driven by messages: attribute "method" (GET when absent), "uri" and one header per
// attribute "hdr-<Name>" make the request; the response body, read as a message named "resp", is
// the reply, and a status of 300 or more makes a failed reply with the status and reason. One
// request is outstanding at a time: while one waits, transmit_message refuses and the endpoint
// keeps the next in its queue.
class IPCProtocolWebClient : public IPCProtocolHTTPClient {
public:
    using IPCProtocolHTTPClient::IPCProtocolHTTPClient;

    void reset() override;
    int transmit_message(const Message& message) override;

protected:
    void receive_response(const http_response& response) override;
    void on_response_done() override { is_busy_ = false; }
    // The request last sent, for the raw client's replies.
    Message& pending() { return pending_; }

private:
    static void build_request(const Message& message, http_request& request);

    bool is_busy_ = false;
    Message pending_;
};
