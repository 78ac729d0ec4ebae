#include "ipc/protocols/ipc_protocol_compact_server.h"

#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_server.h"

void IPCProtocolCompactServer::receive_message(Message& request) {
    IPCEndpointServer* endpoint = conn->find_or_create_endpoint_server();
    if (!endpoint) return;
    endpoint->touch();

    Message reply;
    reply.set_name("resp");
    bool is_reply_due = true;
    if (endpoint->needs_auth()) {
        IPCEndpoint::set_error(reply, 403, "Forbidden");
    } else if (request.name() == "login") {
        set_success(reply);
    } else if (request.name() != "ping") {
        is_reply_due = conn->handle_request(request, reply);
    }
    if (!is_reply_due) return;
    if (request.attributes().has("seq")) reply.attributes().set("seq", request.attributes().get_string("seq", ""));
    transmit_frame(reply);
}

void IPCProtocolCompactServer::set_success(Message& reply) {
    reply.attributes().set("success", true);
}

void IPCProtocolCompactServer::noop(const Message&, Message&) {}
