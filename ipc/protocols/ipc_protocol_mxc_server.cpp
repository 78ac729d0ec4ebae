#include "ipc/protocols/ipc_protocol_mxc_server.h"

#include <utility>

#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_server.h"

void IPCProtocolMXCServer::handle_request(const http_request& request) {
    Message message;
    read_query(request, message.attributes());
    message.set_name(message.attributes().get_string("section", "invalid"));

    IPCEndpointServer* endpoint = conn->find_or_create_endpoint_server();
    if (!endpoint) {
        refuse_session();
        return;
    }
    endpoint->touch();
    if (endpoint->needs_auth()) {
        set_status(403, "Forbidden");
        return;
    }
    Message reply;
    reply.set_name("resp");
    if (dispatch(message, reply)) write_reply(reply);
}

void IPCProtocolMXCServer::write_reply(const Message& reply) {
    std::string document;
    reply.serialize(Message::XML, document, false);
    response_.set_body(std::move(document));
    response_.replace_header("Content-Type", "application/xml");
    set_status(200, "OK");
}
