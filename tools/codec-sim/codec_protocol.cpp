#include "tools/codec-sim/codec_protocol.h"

#include "ipc/ipc_conn.h"
#include "ipc/message.h"
#include "tools/codec-sim/codec_endpoint.h"
#include "tools/codec-sim/simulated_codec.h"

CodecProtocol::CodecProtocol(IPCConn* connection, SimulatedCodec& codec)
    : IPCProtocolXMLSServer(connection), codec_(codec) {}

void CodecProtocol::receive_data(const std::string& bytes) {
    if (codec_.context.recorder) record_frames(bytes);
    IPCProtocolXMLSServer::receive_data(bytes);
}

void CodecProtocol::record_frames(const std::string& bytes) {
    // rx_buffer holds the start of a frame whose NUL has not come yet, and no NUL itself.
    size_t start = 0;
    for (size_t nul = bytes.find('\0'); nul != std::string::npos; nul = bytes.find('\0', start)) {
        const std::string tail = bytes.substr(start, nul - start);
        codec_.context.recorder->record(codec_.port, start == 0 ? rx_buffer + tail : tail);
        start = nul + 1;
    }
}

void CodecProtocol::receive_message(Message& request) {
    const CodecSimContext& context = codec_.context;
    if (context.is_silent) return;
    if (context.options.mode == CodecSimMode::kLegacy) {
        if (request.name() == "hello") return;
        if (request.name() == "ping") {
            Message pong;
            pong.set_name("pong");
            transmit_xml(pong);
            return;
        }
    }

    const bool was_logged_in = is_logged_in();
    IPCProtocolXMLSServer::receive_message(request);
    if (has_admitted_ || conn->is_failed()) return;
    const bool is_greeting = request.name() == "hello" || request.name() == "login";
    const bool is_admitted =
        (!was_logged_in && is_logged_in()) || (context.options.mode == CodecSimMode::kNoLogin && is_greeting);
    if (!is_admitted) return;
    has_admitted_ = true;
    // Only codec endpoints are made for the fleet's servers.
    if (auto* endpoint = static_cast<CodecEndpoint*>(conn->endpoint_server())) endpoint->on_admitted();
}
