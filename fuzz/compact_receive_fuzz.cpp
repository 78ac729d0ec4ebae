// The compact client's receive path: frames (0xFF, a big-endian length, a compact message) in
// network-sized chunks, cut, decoded and handed to the endpoint.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/counting_endpoint.h"
#include "fuzz/fuzz_chunks.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/protocols/ipc_protocol_compact_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CountingEndpoint endpoint;
    auto* connection = new IPCConnStream(nullptr, 0);  // no socket: the bytes are fed by hand
    connection->set_protocol(new IPCProtocolCompactClient(connection));
    connection->set_receive_limit(65536);
    endpoint.set_connection(connection);
    for_each_chunk(data, size, [&](const std::string& chunk) { connection->on_data(chunk); });
    return 0;
}
