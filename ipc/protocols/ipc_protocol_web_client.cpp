#include "ipc/protocols/ipc_protocol_web_client.h"

#include "ipc/base/exception.h"
#include "ipc/http/http_request.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint.h"

void IPCProtocolWebClient::reset() {
    IPCProtocolHTTPClient::reset();
    is_busy_ = false;
}

void IPCProtocolWebClient::build_request(const Message& message, http_request& request) {
    const Message::Attributes& attributes = message.attributes();
    request.set_method(attributes.get_string("method", "GET"));
    request.set_uri(attributes.get_string("uri", ""));
    request.set_protocol("HTTP", 1, 1);
    for (const std::string& key : attributes.keys()) {
        if (key.compare(0, 4, "hdr-") == 0) request.add_header(key.substr(4), attributes.get_string(key, ""));
    }
}

int IPCProtocolWebClient::transmit_message(const Message& message) {
    if (is_busy_ || is_closing()) return 0;
    http_request request("\r\n");
    std::string wire;
    try {
        build_request(message, request);
        wire = print_request(request);
    } catch (const Exception& e) {
        refuse_request("web", message, e.what());
        return 1;
    }
    expect_response_to(request.method());
    conn->send_data(wire);
    is_busy_ = true;
    pending_ = message;
    return 1;
}

void IPCProtocolWebClient::receive_response(const http_response& response) {
    Message reply;
    // The body of a redirect or an error is a page for people, not the reply the request asked for.
    if (response.status() >= 300) {
        IPCEndpoint::set_error(reply, response.status(), response.reason());
    } else {
        reply.parse_from_peer(response.body());
    }
    reply.set_name("resp");
    conn->rx_message(reply);
}
