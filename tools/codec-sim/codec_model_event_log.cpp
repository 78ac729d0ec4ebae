// CodecModel's event log: the entries its requests log, the "getEventLog" reply, the noisy codecs
// (long texts, bursts of events) and frame_with_text, which writes that reply's entries as element
// text.
#include "tools/codec-sim/codec_model.h"

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "tools/codec-sim/sim_numbers.h"

using codec_sim::floor_div;

namespace {

// Element text as one line that any XML reader takes back unchanged: control bytes (line breaks
// too, which readers would normalise) become blanks, ill-formed UTF-8 becomes U+FFFD.
std::string clean_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
            ++i;
            continue;
        }
        bool is_xml_char = false;
        const size_t length = ipc_utf8_sequence_length(text, i, is_xml_char);
        if (length == 0 || !is_xml_char) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

void append_element(std::string& out, const Message& node, int depth) {
    if (depth > Message::kMaxDepth) {
        throw Exception("%s: Nesting deeper than %d levels", "frame_with_text", Message::kMaxDepth);
    }
    // The library writes the tag, so names and attribute values obey the same rules as
    // everywhere else on the wire.
    Message tag;
    tag.set_name(node.name());
    tag.attributes() = node.attributes();
    std::string text;
    tag.serialize(Message::XML, text, false);
    ipc_strip_xml_declaration(text);
    const std::string value = node.value().is_set() ? node.value().to_string() : std::string();
    if (value.empty() && node.size() == 0) {
        out += text;
        return;
    }
    text.resize(text.size() - 2);  // "/>"
    out += text;
    out += '>';
    out += ipc_escape(clean_text(value));
    for (int row = 0; row < node.size(); ++row) append_element(out, node.get_child(row), depth + 1);
    out += "</";
    out += node.name();
    out += '>';
}

}  // namespace

void CodecModel::add_log(int64_t now_us, const std::string& text) {
    event_log_.add(calendar_origin_s_ + floor_div(now_us, 1000000), text);
}

void CodecModel::do_get_event_log(const Message& request, Message& reply) {
    for (const CodecEventLog::Entry& entry : event_log_.entries()) {
        Message& e = reply.add_child("e");
        e.attributes().set("ts", CodecEventLog::format_stamp(entry.unix_s));
        e.value().set(entry.text);
    }
    if (request.attributes().get_bool("clear", false)) event_log_.clear();
}

void CodecModel::lengthen_texts(int64_t now_us, size_t length) {
    std::string text = std::to_string(now_us);
    text.resize(length, 'x');
    sys_options_.attributes().set("unit_name", text);
    if (!peers_.empty()) peers_.front().name = text;
    add_log(now_us, text);
    is_sys_options_changed_ = is_peer_list_changed_ = true;
}

void CodecModel::log_burst(int64_t now_us, int count) {
    for (int i = 1; i <= count; ++i) {
        add_log(now_us,
                "Chatty event " + std::to_string(i) + " of " + std::to_string(count) + " at " + std::to_string(now_us));
    }
}

std::string CodecModel::frame_with_text(const Message& message) {
    std::string out;
    append_element(out, message, 1);
    out += '\0';
    return out;
}
