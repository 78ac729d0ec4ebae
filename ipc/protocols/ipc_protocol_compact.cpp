#include "ipc/protocols/ipc_protocol_compact.h"

#include <exception>

#include "ipc/base/exception.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"

namespace {

constexpr size_t kHeaderSize = 5;

uint32_t read_length(const char* bytes, size_t at) {
    uint32_t length = 0;
    for (size_t i = 0; i < 4; ++i) length = length << 8 | static_cast<unsigned char>(bytes[at + i]);
    return length;
}

}  // namespace

std::string IPCProtocolCompact::frame(const Message& message) {
    std::string frame(kHeaderSize, '\xFF');
    message.serialize(Message::COMPACT, frame, false);
    const size_t length = frame.size() - kHeaderSize;
    for (size_t i = 0; i < 4; ++i) frame[1 + i] = static_cast<char>(length >> (24 - 8 * i));
    return frame;
}

void IPCProtocolCompact::transmit_frame(const Message& message) {
    const std::string bytes = frame(message);
    if (bytes.size() > conn->send_limit()) {
        conn->set_error("IPCProtocolCompact::transmit_message buffer overflow");
        return;
    }
    conn->send_data(bytes);
}

int IPCProtocolCompact::transmit_message(const Message& message) {
    try {
        transmit_frame(message);
    } catch (const Exception& e) {
        refuse_request("compact", message, e.what());
    }
    return 1;
}

void IPCProtocolCompact::reset() {
    ++reset_count_;
}

size_t IPCProtocolCompact::receive_data(const char* data, size_t length) {
    const uint64_t resets_before = reset_count_;
    size_t position = 0;
    // A frame of length 0 is cut only once a byte after it has come, as the peer's framing expects.
    while (length - position > kHeaderSize) {
        const uint32_t body_length = read_length(data, position + 1);
        if (body_length + uint64_t{kHeaderSize} > conn->receive_limit()) break;
        if (length - position - kHeaderSize < body_length) break;
        try {
            Message message;
            message.parse_from_peer(data + position + kHeaderSize, body_length);
            receive_message(message);
        } catch (const std::exception& e) {
            // A bad frame fails the connection, but frames already received behind it still count.
            conn->set_error(e.what());
        }
        // A handler that closed the connection took the input with it.
        if (reset_count_ != resets_before) return length;
        position += kHeaderSize + body_length;
    }
    const size_t left = length - position;
    const bool is_frame_too_long =
        left > kHeaderSize && read_length(data, position + 1) + uint64_t{kHeaderSize} > conn->receive_limit();
    if (left > conn->receive_limit() || is_frame_too_long) {
        conn->set_error("IPCProtocolCompact::receive_data buffer overflow");
    }
    return position;
}
