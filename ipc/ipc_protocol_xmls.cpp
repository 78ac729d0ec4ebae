#include "ipc/ipc_protocol_xmls.h"

#include <exception>

#include "ipc/ipc_conn.h"
#include "ipc/ipc_string.h"
#include "ipc/message.h"

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

size_t skip_blanks(const std::string& text, size_t position, size_t end) {
    while (position < end && is_blank(text[position])) ++position;
    return position;
}

}  // namespace

std::string IPCProtocolXMLS::frame(const Message& message) {
    std::string text;
    message.serialize(Message::XML, text, false);
    ipc_strip_xml_declaration(text);
    text += '\0';
    return text;
}

void IPCProtocolXMLS::transmit_xml(const Message& message) {
    conn->send_data(frame(message));
}

void IPCProtocolXMLS::reset() {
    rx_buffer.clear();
    searched_length_ = 0;
    ++reset_count_;
}

void IPCProtocolXMLS::receive_data(const std::string& bytes) {
    rx_buffer += bytes;
    cut_frames();
    if (rx_buffer.size() > conn->receive_limit()) {
        conn->set_error("IPCProtocolXMLS::receive_data buffer overflow");
    }
}

void IPCProtocolXMLS::cut_frames() {
    const uint64_t resets_before = reset_count_;
    size_t frame_start = 0;
    size_t search_from = searched_length_;
    while (!conn->is_read_held()) {
        const size_t nul = rx_buffer.find('\0', search_from);
        if (nul == std::string::npos) {
            search_from = rx_buffer.size();
            break;
        }
        const size_t text_start = skip_blanks(rx_buffer, frame_start, nul);
        try {
            Message message;
            message.parse_from_peer(rx_buffer.substr(text_start, nul - text_start));
            receive_message(message);
        } catch (const std::exception& e) {
            // A bad frame fails the connection, but frames already received behind it still count.
            conn->set_error(e.what());
        }
        // A handler that closed the connection took the buffer with it: nothing is left to cut.
        if (reset_count_ != resets_before) return;
        frame_start = search_from = nul + 1;
    }
    rx_buffer.erase(0, frame_start);
    searched_length_ = search_from - frame_start;
}
