#pragma once

#include "ipc/protocols/ipc_protocol_http_server.h"

// A request Message per HTTP request, from the query: its fields are the attributes, the field
// "section" names it ("invalid" without one); method and body are not read. Each answer is the
// reply as an XML document (declaration included) with "Content-Type" "application/xml".
//
// There is no login, so only peers on the IPv4 loopback network are served: any other peer gets
// 403 "Forbidden" with nothing dispatched, as on the compact server. The endpoint lives as long as
// its connection.
class IPCProtocolMXCServer : public IPCProtocolHTTPServer {
public:
    using IPCProtocolHTTPServer::IPCProtocolHTTPServer;

    bool is_connection_bound() const override { return true; }

protected:
    void handle_request(const http_request& request) override;
    void write_reply(const Message& reply) override;
};
