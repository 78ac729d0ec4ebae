// The client's receive path for codec connections: raw bytes from the network are cut into frames,
// parsed, run through the login logic and handed to the endpoint, or dropped. The first input byte
// chooses how the rest is split into chunks, so frames arrive whole, split and merged, and with its
// top bit a receive limit small enough that frames grow past it and are discarded.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/counting_endpoint.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/protocols/ipc_protocol_xmls_client.h"

namespace {
constexpr uint32_t kSmallReceiveLimit = 100;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t chunk = 1 + data[0] % 64;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    CountingEndpoint endpoint;
    auto* connection = new IPCConnStream(nullptr, 0);
    if (data[0] & 0x80) connection->set_receive_limit(kSmallReceiveLimit);
    connection->set_protocol(new IPCProtocolXMLSClient(connection));
    endpoint.set_connection(connection);
    connection->set_state(IPCConn::CONNECTED);  // sends the greeting into the (unsent) buffer

    for (size_t offset = 0; offset < bytes.size(); offset += chunk) {
        connection->on_data(bytes.substr(offset, chunk));
    }
    return 0;
}
