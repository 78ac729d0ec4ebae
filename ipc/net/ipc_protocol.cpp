#include "ipc/net/ipc_protocol.h"

#include "ipc/base/logger.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint.h"

void IPCProtocol::refuse_request(const char* protocol_name, const Message& request, const std::string& reason) {
    ipc_logger().log(3, "%s: request '%s' to %s not sent: %s", protocol_name, request.name().c_str(),
                     conn->address().to_string().c_str(), reason.c_str());
    Message reply;
    reply.set_name("resp");
    if (request.attributes().has("seq")) reply.attributes().set("seq", request.attributes().get_string("seq", ""));
    IPCEndpoint::set_error(reply, 400, "Bad Request");
    conn->rx_message(reply);
}
