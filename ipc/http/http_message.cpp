#include "ipc/http/http_message.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "ipc/message/message_attributes.h"

namespace {

[[noreturn]] void illegal_header() {
    throw Exception("Illegal characters in HTTP message headers");
}

[[noreturn]] void malformed_length() {
    throw Exception("Malformed Content-Length");
}

enum ByteKind : uint8_t { kPlain, kRefused, kLineBreak };

// Control bytes but TAB, CR and LF are refused in any header; CR and LF are checked for pairing.
constexpr std::array<uint8_t, 256> kByteKinds = [] {
    std::array<uint8_t, 256> kinds{};
    for (int c = 0; c < 0x20; ++c) kinds[c] = kRefused;
    kinds['\t'] = kPlain;
    kinds['\r'] = kinds['\n'] = kLineBreak;
    kinds[0x7F] = kRefused;
    return kinds;
}();

// No byte of the eight is a control byte or DEL (bit tricks after Anderson's "Bit Twiddling Hacks").
bool is_plain_word(const char* bytes) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighBits = 0x8080808080808080ull;
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    const uint64_t below_space = (word - kOnes * 0x20) & ~word & kHighBits;
    const uint64_t del = word ^ (kOnes * 0x7F);
    const uint64_t is_del = (del - kOnes) & ~del & kHighBits;
    return (below_space | is_del) == 0;
}

// Calls `visit` with each trimmed, non-empty item of a comma-separated list until it answers true.
template <typename Visit>
bool any_list_item(std::string_view list, Visit visit) {
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const std::string_view item = ipc_trim_view(list.substr(0, comma));
        if (!item.empty() && visit(item)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace

http_message::http_message(const std::string& line_end) : line_end_(line_end) {}

std::string http_message::canonical_header(const std::string& name) {
    struct CompactName {
        char letter;
        const char* full;
    };
    static const CompactName kCompactNames[] = {
        {'c', "Content-Type"},   {'e', "Content-Encoding"}, {'f', "From"},    {'i', "Call-ID"}, {'k', "Supported"},
        {'l', "Content-Length"}, {'m', "Contact"},          {'s', "Subject"}, {'t', "To"},      {'v', "Via"},
    };
    if (name.size() == 1) {
        for (const CompactName& compact : kCompactNames) {
            if (name[0] == compact.letter) return ipc_to_lower(compact.full);
        }
    }
    return ipc_to_lower(name);
}

http_message::HeaderKey http_message::lower_key(std::string text) {
    HeaderKey key{std::move(text), 0};
    for (char& c : key.text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        key.hash = (key.hash << 5 | key.hash >> 27) ^ static_cast<unsigned char>(c);
    }
    return key;
}

http_message::HeaderKey http_message::key_of(std::string_view name) const {
    // A one-letter "l" a proxy reads as an unknown header must not set a length here.
    return lower_key(is_crlf() ? std::string(name) : canonical_header(std::string(name)));
}

const http_message::HeaderKey& http_message::content_length_key() {
    static const HeaderKey key = lower_key("content-length");
    return key;
}

void http_message::reset() {
    header_done_ = false;
    content_length_ = kUnknownLength;
    ipc_clear_buffer(header_buffer_, kKeptBufferBytes);
    scanned_ = line_start_ = line_count_ = 0;
    start_line_.clear();
    headers_.clear();
    ipc_clear_buffer(body_, kKeptBufferBytes);
    framing_ = Framing::kNone;
    chunked_.reset();
    is_closed_ = false;
    has_length_conflict_ = false;
}

uint32_t http_message::parse_bytes(const char* bytes, uint32_t length) {
    if (header_done_) return take_body(bytes, length);
    const size_t before = header_buffer_.size();
    const size_t gathered = std::min<size_t>(length, kMaxHeaderBytes - before);
    header_buffer_.insert(header_buffer_.end(), bytes, bytes + gathered);
    const size_t end = read_header_lines();
    if (end == std::string::npos) {
        if (gathered < length) throw Exception("Oversized HTTP header");
        return length;
    }
    const uint32_t taken = static_cast<uint32_t>(end - before);
    header_buffer_.clear();
    scanned_ = line_start_ = line_count_ = 0;
    body_.clear();
    header_done_ = true;
    read_start_line();
    choose_framing();
    return taken + take_body(bytes + taken, length - taken);
}

size_t http_message::read_header_lines() {
    const std::string_view buffer(header_buffer_.data(), header_buffer_.size());
    for (size_t i = scanned_; i < buffer.size(); ++i) {
        while (i + 8 <= buffer.size() && is_plain_word(buffer.data() + i)) i += 8;
        if (i == buffer.size()) break;
        const char c = buffer[i];
        const uint8_t kind = kByteKinds[static_cast<unsigned char>(c)];
        if (kind == kPlain) continue;
        if (kind == kRefused) illegal_header();
        if (is_crlf() && c == '\r') {
            if (i + 1 == buffer.size()) {
                scanned_ = i;  // its LF may come with the next bytes
                return std::string::npos;
            }
            if (buffer[i + 1] != '\n') illegal_header();
            continue;
        }
        if (c != '\n') continue;
        if (is_crlf() && (i == 0 || buffer[i - 1] != '\r')) illegal_header();
        const size_t line_end = i + 1 - line_end_.size();
        if (line_count_ > 0 && line_end == line_start_) return i + 1;  // the empty line ends the block
        take_line(buffer.substr(line_start_, line_end - line_start_));
        line_start_ = i + 1;
    }
    scanned_ = buffer.size();
    return std::string::npos;
}

void http_message::take_line(std::string_view line) {
    if (line_count_++ == 0) {
        content_length_ = kUnknownLength;
        start_line_.assign(line);
    } else if (is_crlf() && line_count_ > kMaxHeaderLines + 1) {
        illegal_header();
    } else {
        read_header_line(line);
    }
}

void http_message::read_header_line(std::string_view line) {
    const size_t colon = line.find(':');
    if (!is_crlf()) {
        const std::string_view name = ipc_trim_view(line.substr(0, colon));
        const std::string_view value = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        store_header(name, ipc_trim_view(value));
        return;
    }
    if (colon == std::string_view::npos) illegal_header();
    const std::string_view name = line.substr(0, colon);
    if (name.empty() || name.find_first_of(" \t") != std::string_view::npos) illegal_header();
    store_header(name, ipc_trim_view(line.substr(colon + 1)));
}

void http_message::check_content_length(std::string_view value) {
    if (value.empty() || value.size() > 10 || value.find_first_not_of("0123456789") != std::string_view::npos) {
        malformed_length();
    }
    uint64_t length = 0;
    for (const char digit : value) length = length * 10 + static_cast<uint64_t>(digit - '0');
    if (length > kMaxContentLength) malformed_length();
    if (content_length_ != kUnknownLength && content_length_ != length) malformed_length();
    content_length_ = static_cast<uint32_t>(length);
}

http_message::HeaderEntry* http_message::find(const HeaderKey& key) {
    for (HeaderEntry& entry : headers_) {
        if (entry.key == key) return &entry;
    }
    return nullptr;
}

const http_message::HeaderEntry* http_message::find(const std::string& name) const {
    return const_cast<http_message*>(this)->find(key_of(name));
}

void http_message::store_header(std::string_view name, std::string_view value) {
    HeaderKey key = key_of(name);
    if (key == content_length_key()) check_content_length(value);
    HeaderEntry* entry = find(key);
    if (!entry) entry = &headers_.emplace_back(HeaderEntry{std::move(key), std::string(name), {}});
    entry->values.emplace_back(value);
}

void http_message::add_header(const std::string& name, const std::string& value) {
    if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
        value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw Exception("add_header: Illegal characters in HTTP header %s", ipc_url_encode(name).c_str());
    }
    store_header(name, value);
}

size_t http_message::header_count(const std::string& name) const {
    const HeaderEntry* entry = find(name);
    return entry ? entry->values.size() : 0;
}

std::string http_message::header(const std::string& name, size_t index) const {
    const HeaderEntry* entry = find(name);
    return entry && index < entry->values.size() ? entry->values[index] : std::string();
}

bool http_message::has_token(const std::string& name, const std::string& token) const {
    const HeaderEntry* entry = find(name);
    if (!entry) return false;
    for (const std::string& value : entry->values) {
        if (any_list_item(value, [&](std::string_view item) { return ipc_equal_ignoring_case(item, token); }))
            return true;
    }
    return false;
}

void http_message::set_header_value(const std::string& name, size_t index, const std::string& value) {
    HeaderEntry* entry = find(key_of(name));
    if (!entry || index >= entry->values.size()) return;
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw Exception("set_header_value: Illegal characters in HTTP header %s", ipc_url_encode(name).c_str());
    }
    entry->values[index] = value;
}

void http_message::remove_header(const std::string& name) {
    const HeaderKey key = key_of(name);
    headers_.erase(std::remove_if(headers_.begin(), headers_.end(),
                                  [&](const HeaderEntry& entry) { return entry.key == key; }),
                   headers_.end());
    if (key == content_length_key()) content_length_ = kUnknownLength;
}

void http_message::replace_header(const std::string& name, const std::string& value) {
    remove_header(name);
    add_header(name, value);
}

void http_message::set_body(std::string body) {
    replace_header("Content-Length", ipc_uint_to_string(static_cast<uint32_t>(body.size())));
    body_ = std::move(body);
}

uint32_t http_message::append_body(const char* bytes, uint32_t length) {
    uint32_t taken = length;
    if (content_length_ != kUnknownLength) {
        taken = body_.size() >= content_length_ ? 0 : std::min<uint32_t>(length, content_length_ - body_.size());
    }
    body_.append(bytes, taken);
    return taken;
}

void http_message::set_protocol(const std::string& name, uint32_t major, uint32_t minor) {
    protocol_ = name;
    set_version(major, minor);
}

void http_message::set_version(uint32_t major, uint32_t minor) {
    version_major_ = major;
    version_minor_ = minor;
}

std::string http_message::print_protocol() const {
    if (version_major_ == kUnsetVersion) return protocol_;
    return protocol_ + "/" + ipc_uint_to_string(version_major_) + "." + ipc_uint_to_string(version_minor_);
}

bool http_message::read_version(std::string_view text) {
    const auto read_number = [&text](uint32_t& number) {
        size_t digits = 0;
        uint64_t value = 0;
        for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && value <= 0xFFFFFFFF; ++digits) {
            value = value * 10 + static_cast<uint64_t>(text[digits] - '0');
        }
        text.remove_prefix(digits);
        number = static_cast<uint32_t>(value);
        return digits > 0 && value <= 0xFFFFFFFF;
    };
    text = ipc_trim_view(text, true, false);
    uint32_t major = 0;
    uint32_t minor = 0;
    if (!read_number(major) || text.empty() || text.front() != '.') return false;
    text.remove_prefix(1);
    if (!read_number(minor)) return false;
    set_version(major, minor);
    return true;
}

void http_message::choose_framing() {
    framing_ = Framing::kNone;
    if (has_no_body()) return;
    static const HeaderKey kTransferEncoding = lower_key("transfer-encoding");
    const HeaderEntry* coding = is_crlf() ? find(kTransferEncoding) : nullptr;
    if (coding) {
        size_t codings = 0;
        bool is_chunked = false;
        for (const std::string& value : coding->values) {
            any_list_item(value, [&](std::string_view item) {
                ++codings;
                is_chunked = ipc_equal_ignoring_case(item, "chunked");
                return false;
            });
        }
        if (codings != 1 || !is_chunked) throw Exception("Unsupported HTTP transfer coding");
        has_length_conflict_ = content_length_ != kUnknownLength;
        content_length_ = kUnknownLength;
        framing_ = Framing::kChunked;
        return;
    }
    if (content_length_ != kUnknownLength) {
        if (content_length_ > body_limit_) throw Exception("Oversized HTTP body");
        framing_ = Framing::kLength;
        return;
    }
    switch (unknown_length_) {
    case UnknownLength::kRestOfCall: framing_ = Framing::kRestOfCall; break;
    case UnknownLength::kNone: framing_ = Framing::kNone; break;
    case UnknownLength::kUntilClose: framing_ = Framing::kUntilClose; break;
    }
}

uint32_t http_message::take_body(const char* bytes, uint32_t length) {
    switch (framing_) {
    case Framing::kNone: return 0;
    case Framing::kLength: {
        const uint32_t taken = std::min<uint32_t>(length, content_length_ - static_cast<uint32_t>(body_.size()));
        body_.append(bytes, taken);
        return taken;
    }
    case Framing::kChunked: return static_cast<uint32_t>(chunked_.decode(bytes, length, body_, body_limit_));
    case Framing::kUntilClose:
    case Framing::kRestOfCall:
        if (is_closed_) return 0;
        append_checked(bytes, length);
        return length;
    }
    return 0;
}

void http_message::append_checked(const char* bytes, size_t length) {
    if (body_.size() + length > body_limit_) throw Exception("Oversized HTTP body");
    body_.append(bytes, length);
}

bool http_message::is_complete() const {
    if (!header_done_) return false;
    switch (framing_) {
    case Framing::kLength: return body_.size() == content_length_;
    case Framing::kChunked: return chunked_.is_done();
    case Framing::kUntilClose: return is_closed_;
    case Framing::kNone:
    case Framing::kRestOfCall: return true;
    }
    return true;
}

bool http_message::is_multipart() const {
    return header("content-type").compare(0, 19, "multipart/form-data") == 0;
}

std::vector<const http_message::HeaderEntry*> http_message::entries_by_key() const {
    std::vector<const HeaderEntry*> entries;
    for (const HeaderEntry& entry : headers_) entries.push_back(&entry);
    std::sort(entries.begin(), entries.end(),
              [](const HeaderEntry* a, const HeaderEntry* b) { return a->key.text < b->key.text; });
    return entries;
}

void http_message::headers_to_attributes(MessageAttributes& attributes) const {
    for (const HeaderEntry* entry : entries_by_key()) {
        for (const std::string& value : entry->values) attributes.set(entry->key.text, value);
    }
}

std::string http_message::to_text() const {
    std::string text;
    for (const HeaderEntry* entry : entries_by_key()) text += entry->name + ": " + ipc_join(entry->values, ", ") + "\n";
    return text + body_;
}

std::string http_message::serialize_head() const {
    std::string text = print_start_line() + line_end_;
    for (const HeaderEntry& entry : headers_) {
        for (const std::string& value : entry.values) text += entry.name + ": " + value + line_end_;
    }
    text += line_end_;
    return text;
}

std::string http_message::serialize() const {
    std::string text = serialize_head();
    // A response to HEAD, a 1xx, 204 or 304 carries no body whatever was put in it: bytes there
    // would be read as the start of the next message.
    if (!has_no_body()) text += body_;
    return text;
}

std::string http_message::take_serialized() {
    const std::string head = serialize_head();  // may throw: nothing is given up before it
    std::string wire = has_no_body() ? std::string() : std::move(body_);
    ipc_clear_buffer(body_, 0);
    wire.insert(0, head);
    return wire;
}

size_t http_message::bytes_held() const {
    size_t bytes = header_buffer_.capacity() + start_line_.capacity() + body_.capacity();
    for (const HeaderEntry& entry : headers_) {
        bytes += entry.key.text.capacity() + entry.name.capacity();
        for (const std::string& value : entry.values) bytes += value.capacity();
    }
    return bytes;
}

std::vector<http_message> http_message::parse_multipart() const {
    const std::string type = header("content-type");
    const size_t at = type.find("boundary=");
    if (!is_multipart() || at == std::string::npos) return {};
    const std::string boundary = ipc_unquote(ipc_trim(type.substr(at + 9, type.find(';', at) - at - 9)), '"');
    if (boundary.empty()) return {};
    const std::string delimiter = "--" + boundary;

    std::vector<http_message> parts;
    for (size_t position = 0;;) {
        const size_t found = body_.find(delimiter, position);
        if (found == std::string::npos) return parts;
        if (found > position) {
            // The CR LF before a delimiter belongs to the delimiter, not to the part's body.
            const bool has_crlf = found - position >= 2 && body_.compare(found - 2, 2, "\r\n") == 0;
            if (parts.size() == kMaxMultipartParts)
                throw Exception("parse_multipart: More than %zu parts", kMaxMultipartParts);
            http_message part("\r\n");
            part.set_body_limit(body_limit_);
            part.parse(body_.data() + position, static_cast<uint32_t>(found - position - (has_crlf ? 2 : 0)));
            parts.push_back(std::move(part));
        }
        position = found + delimiter.size();
    }
}
