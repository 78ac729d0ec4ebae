#include "ipc/protocols/ipc_protocol_xmls.h"

#include <cstring>
#include <exception>

#include "ipc/base/ipc_string.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

size_t skip_blanks(const char* text, size_t position, size_t end) {
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
    searched_length_ = 0;
    ++reset_count_;
}

bool IPCProtocolXMLS::has_pending_input() const {
    return searched_length_ < conn->input().size();
}

size_t IPCProtocolXMLS::receive_data(const char* data, size_t length) {
    const uint64_t resets_before = reset_count_;
    size_t frame_start = 0;
    size_t search_from = searched_length_;
    while (!conn->is_read_held()) {
        const auto* nul_byte =
            search_from < length ? static_cast<const char*>(std::memchr(data + search_from, '\0', length - search_from))
                                 : nullptr;
        if (!nul_byte) {
            search_from = length;
            break;
        }
        const auto nul = static_cast<size_t>(nul_byte - data);
        const size_t text_start = skip_blanks(data, frame_start, nul);
        try {
            Message message;
            message.parse_from_peer(data + text_start, nul - text_start);
            receive_message(message);
        } catch (const std::exception& e) {
            // A bad frame fails the connection, but frames already received behind it still count.
            conn->set_error(e.what());
        }
        // A handler that closed the connection took the input with it: nothing is left to cut.
        if (reset_count_ != resets_before) return length;
        frame_start = search_from = nul + 1;
    }
    searched_length_ = search_from - frame_start;
    if (length - frame_start > conn->receive_limit()) {
        conn->set_error("IPCProtocolXMLS::receive_data buffer overflow");
    }
    return frame_start;
}
