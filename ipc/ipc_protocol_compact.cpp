#include "ipc/ipc_protocol_compact.h"

#include <exception>

#include "ipc/exception.h"
#include "ipc/ipc_conn.h"
#include "ipc/message.h"

namespace {

constexpr size_t kHeaderSize = 5;

uint32_t read_length(const std::string& bytes, size_t at) {
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
    rx_buffer_.clear();
    ++reset_count_;
}

void IPCProtocolCompact::receive_data(const std::string& bytes) {
    rx_buffer_ += bytes;
    const uint64_t resets_before = reset_count_;
    size_t position = 0;
    // A frame of length 0 is cut only once a byte after it has come, as the peer's framing expects.
    while (rx_buffer_.size() - position > kHeaderSize) {
        const uint32_t length = read_length(rx_buffer_, position + 1);
        if (length + uint64_t{kHeaderSize} > conn->receive_limit()) break;
        if (rx_buffer_.size() - position - kHeaderSize < length) break;
        try {
            Message message;
            message.parse_from_peer(rx_buffer_.substr(position + kHeaderSize, length));
            receive_message(message);
        } catch (const std::exception& e) {
            // A bad frame fails the connection, but frames already received behind it still count.
            conn->set_error(e.what());
        }
        // A handler that closed the connection took the buffer with it.
        if (reset_count_ != resets_before) return;
        position += kHeaderSize + length;
    }
    rx_buffer_.erase(0, position);
    const bool is_frame_too_long = rx_buffer_.size() > kHeaderSize &&
                                   read_length(rx_buffer_, 1) + uint64_t{kHeaderSize} > conn->receive_limit();
    if (rx_buffer_.size() > conn->receive_limit() || is_frame_too_long) {
        conn->set_error("IPCProtocolCompact::receive_data buffer overflow");
    }
}
