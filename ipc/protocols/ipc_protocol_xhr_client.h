#pragma once

#include <string>

#include "ipc/protocols/ipc_protocol_http_client.h"

// The client of the xhr server: each message travels as XML in the query of a GET ("/?c=" and the
// XML, every byte but letters, digits and - _ . ~ percent-encoded), and each response body is a
// message for the endpoint. Requests do not wait for responses; responses are read in arrival
// order, and a 403 is dropped.
class IPCProtocolXHRClient : public IPCProtocolHTTPClient {
public:
    using IPCProtocolHTTPClient::IPCProtocolHTTPClient;

    int transmit_message(const Message& message) override;
    // The protocol this client would upgrade its connection to; nothing asks for it yet.
    std::string upgrade_protocol() const;

protected:
    void receive_response(const http_response& response) override;
};
