#include "tools/codec-sim/codec_protocol.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"
#include "platform/utf16.h"
#include "tools/codec-sim/codec_endpoint.h"
#include "tools/codec-sim/simulated_codec.h"

CodecProtocol::CodecProtocol(IPCConn* connection, SimulatedCodec& codec)
    : IPCProtocolXMLSServer(connection), codec_(codec) {}

void CodecProtocol::reset() {
    recorded_length_ = 0;
    IPCProtocolXMLSServer::reset();
}

size_t CodecProtocol::receive_data(const char* data, size_t length) {
    if (codec_.context.recorder) record_frames(data, length);
    const size_t taken = IPCProtocolXMLSServer::receive_data(data, length);
    // Only recorded frames are taken; a handler's reset has already cleared the count.
    recorded_length_ -= std::min(taken, recorded_length_);
    return taken;
}

void CodecProtocol::record_frames(const char* data, size_t length) {
    const std::string_view input(data, length);
    size_t start = recorded_length_;
    for (size_t nul = input.find('\0', start); nul != std::string_view::npos; nul = input.find('\0', start)) {
        codec_.context.recorder->record(codec_.port, std::string(input.substr(start, nul - start)));
        start = nul + 1;
    }
    recorded_length_ = start;
}

namespace {

// Each character up to U+00FF as one byte of that value, any other as "?". Bytes that are not
// UTF-8 stay as they are.
std::string latin1_of(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t code = static_cast<unsigned char>(utf8[i]);
        const size_t length = code < 0x80 ? 1 : platform::utf8_sequence_length(utf8, i, code);
        if (length == 0) {
            out += utf8[i++];
            continue;
        }
        out += code <= 0xFF ? static_cast<char>(code) : '?';
        i += length;
    }
    return out;
}

}  // namespace

void CodecProtocol::transmit_xml(const Message& message) {
    send_frame(frame(message));
}

void CodecProtocol::send_frame(std::string frame) {
    if (codec_.context.options.writes_latin1) frame = latin1_of(frame);
    conn->send_data(std::move(frame));
}

CodecEndpoint* CodecProtocol::codec_endpoint() const {
    // Only codec endpoints are made for the fleet's servers.
    return static_cast<CodecEndpoint*>(conn->endpoint_server());
}

void CodecProtocol::receive_message(Message& request) {
    const CodecSimContext& context = codec_.context;
    if (context.is_silent || context.is_deaf) return;
    if (context.options.mode == CodecSimMode::kLegacy) {
        if (request.name() == "hello") return;
        if (request.name() == "ping") {
            Message pong;
            pong.set_name("pong");
            transmit_xml(pong);
            return;
        }
    }

    if (has_admitted_ && request.name() == "ping") {
        if (CodecEndpoint* endpoint = codec_endpoint()) endpoint->before_ping_answer();
    }
    const bool was_logged_in = is_logged_in();
    IPCProtocolXMLSServer::receive_message(request);
    if (has_admitted_ || conn->is_failed()) return;
    const bool is_greeting = request.name() == "hello" || request.name() == "login";
    const bool is_admitted =
        (!was_logged_in && is_logged_in()) || (context.options.mode == CodecSimMode::kNoLogin && is_greeting);
    if (!is_admitted) return;
    has_admitted_ = true;
    if (CodecEndpoint* endpoint = codec_endpoint()) endpoint->on_admitted();
}
