#include "ipc/protocols/ipc_protocol_xhr_client.h"

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "ipc/http/http_request.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"

int IPCProtocolXHRClient::transmit_message(const Message& message) {
    if (is_closing()) return 0;
    std::string wire;
    try {
        std::string xml;
        message.serialize(Message::XML, xml, false);
        ipc_strip_xml_declaration(xml);
        http_request request("\r\n");
        request.set_method("GET");
        // The strict encoder: "&", "=", "+", ";" and "%" of the XML must reach the server's decoder intact.
        request.set_uri("/?c=" + ipc_url_encode_component(xml));
        request.set_protocol("HTTP", 1, 1);
        wire = print_request(request);
    } catch (const Exception& e) {
        refuse_request("xhr", message, e.what());
        return 1;
    }
    conn->send_data(wire);
    return 1;
}

std::string IPCProtocolXHRClient::upgrade_protocol() const {
    return "websocket";
}

void IPCProtocolXHRClient::receive_response(const http_response& response) {
    if (response.status() == 403) return;
    Message message;
    message.parse_from_peer(response.body());
    conn->rx_message(message);
}
