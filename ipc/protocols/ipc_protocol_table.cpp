// IPCProtocol's makers by name, declared with the interface in ipc/net/ipc_protocol.h and defined
// here, beside the protocols they name: the connections and the manager below make protocols
// through them without including any of them.
#include "ipc/net/ipc_protocol.h"

#include "ipc/base/logger.h"
#include "ipc/protocols/ipc_protocol_compact_client.h"
#include "ipc/protocols/ipc_protocol_compact_server.h"
#include "ipc/protocols/ipc_protocol_esl_client.h"
#include "ipc/protocols/ipc_protocol_mxc_server.h"
#include "ipc/protocols/ipc_protocol_raw_web_client.h"
#include "ipc/protocols/ipc_protocol_web_client.h"
#include "ipc/protocols/ipc_protocol_xhr_client.h"
#include "ipc/protocols/ipc_protocol_xhr_server.h"
#include "ipc/protocols/ipc_protocol_xmls_client.h"
#include "ipc/protocols/ipc_protocol_xmls_server.h"

namespace {

using Factory = IPCProtocol* (*)(IPCConn*);

template <typename Protocol>
IPCProtocol* make(IPCConn* conn) {
    return new Protocol(conn);
}

struct ProtocolFactories {
    const char* name;
    Factory client;  // null: no client side
    Factory server;  // null: no server side
};

const ProtocolFactories kProtocols[] = {
    {"xmls", make<IPCProtocolXMLSClient>, make<IPCProtocolXMLSServer>},
    {"compact", make<IPCProtocolCompactClient>, make<IPCProtocolCompactServer>},
    {"xhr", make<IPCProtocolXHRClient>, make<IPCProtocolXHRServer>},
    {"web", make<IPCProtocolWebClient>, nullptr},
    {"raw-web", make<IPCProtocolRawWebClient>, nullptr},
    {"esl", make<IPCProtocolESLClient>, nullptr},
    {"mxc", nullptr, make<IPCProtocolMXCServer>},
};

IPCProtocol* create(const std::string& name, IPCConn* conn, Factory ProtocolFactories::*side, const char* side_name) {
    for (const ProtocolFactories& protocol : kProtocols) {
        if (name == protocol.name && protocol.*side) return (protocol.*side)(conn);
    }
    ipc_logger().log(6, "no %s protocol '%s' available", side_name, name.c_str());
    return nullptr;
}

}  // namespace

IPCProtocol* IPCProtocol::create_client(const std::string& name, IPCConn* conn) {
    return create(name, conn, &ProtocolFactories::client, "client");
}

IPCProtocol* IPCProtocol::create_server(const std::string& name, IPCConn* conn) {
    return create(name, conn, &ProtocolFactories::server, "server");
}
