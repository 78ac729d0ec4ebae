#include "ipc/protocols/ipc_protocol_xmls.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>

#include "ipc/base/ipc_string.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_dropped_frame.h"

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
    is_discarding_ = false;
    discarded_bytes_ = 0;
    discarded_head_.clear();
}

bool IPCProtocolXMLS::has_pending_input() const {
    return searched_length_ < conn->input().size();
}

size_t IPCProtocolXMLS::receive_data(const char* data, size_t length) {
    const uint64_t resets_before = reset_count_;
    size_t frame_start = 0;
    if (is_discarding_) {
        frame_start = discard(data, length);
        if (reset_count_ != resets_before || frame_start == length) return length;
    }
    size_t search_from = std::max(searched_length_, frame_start);
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
        deliver_frame(data + text_start, nul - text_start);
        // A handler that closed the connection took the input with it: nothing is left to cut.
        if (reset_count_ != resets_before) return length;
        frame_start = search_from = nul + 1;
    }
    searched_length_ = search_from - frame_start;
    const size_t kept = length - frame_start;
    if (kept <= conn->receive_limit()) return frame_start;
    if (conn->is_read_held()) {
        // Whole frames may wait behind the hold: none of them is given up.
        conn->set_error("IPCProtocolXMLS::receive_data buffer overflow");
        return frame_start;
    }
    // The tail is one frame, and it is too large to keep: counted from here on, not held.
    is_discarding_ = true;
    discarded_bytes_ = kept;
    discarded_head_ = ipc_escaped_bytes(std::string_view(data + frame_start, kept), IPCDroppedFrame::kHeadBytes);
    searched_length_ = 0;
    return length;
}

size_t IPCProtocolXMLS::discard(const char* data, size_t length) {
    const auto* nul_byte = static_cast<const char*>(std::memchr(data, '\0', length));
    if (!nul_byte) {
        discarded_bytes_ += length;
        return length;
    }
    const auto nul = static_cast<size_t>(nul_byte - data);
    IPCDroppedFrame dropped{IPCDroppedFrame::kTooLarge, {}, discarded_bytes_ + nul, std::move(discarded_head_)};
    is_discarding_ = false;
    discarded_bytes_ = 0;
    discarded_head_.clear();
    conn->report_dropped_frame(dropped);
    return nul + 1;
}

void IPCProtocolXMLS::deliver_frame(const char* text, size_t length) {
    Message message;
    bool has_read_latin1 = false;
    try {
        message.parse_from_peer(text, length, &has_read_latin1);
    } catch (const std::exception& e) {
        conn->report_dropped_frame({IPCDroppedFrame::kUnreadable, e.what(), length,
                                    ipc_escaped_bytes(std::string_view(text, length), IPCDroppedFrame::kHeadBytes)});
        return;
    }
    if (has_read_latin1) conn->report_latin1_text();
    try {
        receive_message(message);
    } catch (const std::exception& e) {
        // Our own handling failed, not the frame: the connection is failed, but frames already
        // received behind this one still count.
        conn->set_error(e.what());
    }
}
