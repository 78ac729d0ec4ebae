#pragma once

#include "ipc/protocols/ipc_protocol_web_client.h"

// The web client for responses that are not messages: each reply is "resp" with the body as its
// value, "code", "reason", one attribute per header under its lower-case name, and the request as
// child "req".
class IPCProtocolRawWebClient : public IPCProtocolWebClient {
public:
    using IPCProtocolWebClient::IPCProtocolWebClient;

protected:
    void receive_response(const http_response& response) override;
};
