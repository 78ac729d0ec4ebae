#include "ipc/ipc_protocol.h"

#include "ipc/ipc_protocol_xmls_client.h"
#include "ipc/ipc_protocol_xmls_server.h"
#include "ipc/logger.h"

IPCProtocol* IPCProtocol::create_client(const std::string& name, IPCConn* conn) {
    if (name == "xmls") return new IPCProtocolXMLSClient(conn);
    ipc_logger().log(6, "no client protocol '%s' available", name.c_str());
    return nullptr;
}

IPCProtocol* IPCProtocol::create_server(const std::string& name, IPCConn* conn) {
    if (name == "xmls") return new IPCProtocolXMLSServer(conn);
    ipc_logger().log(6, "no server protocol '%s' available", name.c_str());
    return nullptr;
}
