#include "ipc/protocols/ipc_protocol_raw_web_client.h"

#include "ipc/net/ipc_conn.h"

void IPCProtocolRawWebClient::receive_response(const http_response& response) {
    Message reply;
    reply.set_name("resp");
    reply.value() = Message::Value(response.body());
    reply.add_child_copy(pending()).set_name("req");
    pending().clear_contents();
    reply.attributes().set("code", static_cast<unsigned>(response.status()));
    reply.attributes().set("reason", response.reason());
    response.headers_to_attributes(reply.attributes());
    conn->rx_message(reply);
}
