#include "ipc/protocols/ipc_protocol_compact_client.h"

#include <utility>

#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_client.h"

void IPCProtocolCompactClient::on_state() {
    IPCEndpointClient* endpoint = conn->endpoint_client();
    if (conn->state() == IPCConn::CONNECTED && endpoint) endpoint->on_authenticated();
}

void IPCProtocolCompactClient::receive_message(Message& message) {
    conn->rx_message(std::move(message));
}
