// The event-socket client's receive path: blocks from the server (the authentication request, the
// verdict, replies, XML events) in network-sized chunks, with two commands waiting in the endpoint,
// one of which asks for an XML reply.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/counting_endpoint.h"
#include "fuzz/fuzz_chunks.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/protocols/ipc_protocol_esl_client.h"

namespace {

Message command(const char* text, bool wants_xml) {
    Message message;
    message.set_name("api");
    message.attributes().set("text", text);
    if (wants_xml) message.attributes().set("fmt", "xml");
    return message;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CountingEndpoint endpoint;
    auto* connection = new IPCConnStream(nullptr, 0);  // no socket: sends collect in its buffer
    connection->set_protocol(new IPCProtocolESLClient(connection));
    endpoint.set_connection(connection);
    endpoint.send(command("api status", true));
    endpoint.send(command("api version", false));
    for_each_chunk(data, size, [&](const std::string& chunk) { connection->on_data(chunk); });
    return 0;
}
