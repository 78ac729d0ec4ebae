// The compact binary encoding of Message trees. A node is: name (u16 length + bytes), value text
// (u16 length + bytes), attribute count (u16) and per attribute its name, a type tag byte and the
// raw value (u16 length + bytes), then the child count (u16) and the children. Lengths and counts
// are big-endian; int, uint and float raw values are the scalar's 4 bytes in little-endian order.
//
// The decoder works on the caller's buffer in place, checks every length against what is left
// before reading (never by adding to an offset that could wrap), and builds children straight into
// their parent, so decoding time is linear in the input.

#include <cstring>

#include "ipc/base/exception.h"
#include "ipc/message/message.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "raw scalars are copied as they lie in memory; the wire order is little-endian");

struct Message::CompactCodec {
    static uint16_t get_ushort(const char* buffer, uint32_t& pos, uint32_t end) {
        if (pos > end || end - pos < 2) throw Exception("%s: message too short", "get_ushort");
        const auto high = static_cast<unsigned char>(buffer[pos]);
        const auto low = static_cast<unsigned char>(buffer[pos + 1]);
        pos += 2;
        return static_cast<uint16_t>(high << 8 | low);
    }

    static uint8_t get_uchar(const char* buffer, uint32_t& pos, uint32_t end) {
        if (pos >= end) throw Exception("%s: message too short", "get_uchar");
        return static_cast<uint8_t>(buffer[pos++]);
    }

    // A u16 length and that many bytes, returned in place.
    static std::string_view parse_string_compact(const char* buffer, uint32_t& pos, uint32_t end) {
        const uint16_t length = get_ushort(buffer, pos, end);
        if (end - pos < length) throw Exception("%s: message too short len=%d", "parse_string_compact", length);
        const std::string_view bytes(buffer + pos, length);
        pos += length;
        return bytes;
    }

    static void decode(const char* buffer, uint32_t& pos, uint32_t end, Message& node, int depth) {
        const std::string_view name = parse_string_compact(buffer, pos, end);
        node.name_.assign(name.data(), name.size());
        const std::string_view text = parse_string_compact(buffer, pos, end);
        node.value_.type_ = MessageValue::TYPE_STRING;
        node.value_.text_.assign(text.data(), text.size());

        const uint16_t attribute_count = get_ushort(buffer, pos, end);
        node.attributes_.entries_.reserve(attribute_count);
        for (uint16_t i = 0; i < attribute_count; ++i) {
            const std::string_view key = parse_string_compact(buffer, pos, end);
            const uint8_t type = get_uchar(buffer, pos, end);
            if (type >= MessageValue::kTypeCount) {
                throw Exception("%s: Unknown type tag %u", "parse_compact", static_cast<unsigned>(type));
            }
            const std::string_view raw = parse_string_compact(buffer, pos, end);
            if (raw.size() > MessageValue::raw_size_limit(type)) {
                throw Exception("%s: Raw length %u too large for type %s", "parse_compact",
                                static_cast<unsigned>(raw.size()), MessageValue::type_name(type));
            }
            MessageValue& value = node.attributes_.append_unordered(std::string(key));
            value.convert(type);
            value.set_raw(raw.data(), static_cast<uint32_t>(raw.size()));
        }
        node.attributes_.restore_order();  // a repeated name keeps its last value

        const uint16_t child_count = get_ushort(buffer, pos, end);
        if (child_count > 0 && depth >= kMaxDepth) {
            throw Exception("%s: Nesting deeper than %d levels", "parse_compact", kMaxDepth);
        }
        node.children_.reserve(child_count);
        for (uint16_t i = 0; i < child_count; ++i) {
            // Owned by `node` from here on, so a failure below frees it with the rest of the tree.
            Message* child = new Message();
            child->parent_ = &node;
            node.children_.push_back(child);
            decode(buffer, pos, end, *child, depth + 1);
        }
        node.reindex();  // the names are known only now
    }

    static void put_length(std::string& out, size_t length, const char* what) {
        if (length > kMaxCompactLength) {
            throw Exception("%s: %s of %zu exceeds %zu", "write_compact", what, length, kMaxCompactLength);
        }
        out += static_cast<char>(length >> 8);
        out += static_cast<char>(length & 0xFF);
    }

    static void put_bytes(std::string& out, const char* bytes, size_t length, const char* what) {
        put_length(out, length, what);
        out.append(bytes, length);
    }

    static void encode(const Message& node, std::string& out, int depth) {
        if (depth > kMaxDepth) throw Exception("%s: Nesting deeper than %d levels", "write_compact", kMaxDepth);
        put_bytes(out, node.name_.data(), node.name_.size(), "Name length");
        if (node.value_.type() == MessageValue::TYPE_STRING) {
            put_bytes(out, node.value_.data(), node.value_.size(), "Value length");
        } else {
            const std::string text = node.value_.to_string();
            put_bytes(out, text.data(), text.size(), "Value length");
        }
        put_length(out, node.attributes_.size(), "Attribute count");
        for (const auto& entry : node.attributes_) {
            put_bytes(out, entry.first.data(), entry.first.size(), "Attribute name length");
            out += static_cast<char>(entry.second.type());
            put_bytes(out, entry.second.data(), entry.second.size(), "Attribute value length");
        }
        put_length(out, node.children_.size(), "Child count");
        for (const Message* child : node.children_) encode(*child, out, depth + 1);
    }
};

void Message::write_compact(std::string& out) const {
    const size_t mark = out.size();
    try {
        CompactCodec::encode(*this, out, 1);
    } catch (...) {
        out.resize(mark);
        throw;
    }
}

uint32_t Message::parse_compact(const char* buffer, uint32_t offset, uint32_t end) {
    Message decoded;
    uint32_t pos = offset;
    CompactCodec::decode(buffer, pos, end, decoded, 1);
    absorb(decoded);
    return pos;
}
