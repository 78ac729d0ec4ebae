#include "ipc/http/http_digest_header.h"

#include <algorithm>

#include "ipc/base/ipc_string.h"
#include "ipc/base/md5.h"

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

void skip_blanks(const std::string& text, size_t& position) {
    while (position < text.size() && is_blank(text[position])) ++position;
}

// The quoted string opening at `position` with its escapes undone; false when it never closes.
bool read_quoted(const std::string& text, size_t& position, std::string& out) {
    for (++position; position < text.size(); ++position) {
        char c = text[position];
        if (c == '"') {
            ++position;
            return true;
        }
        if (c == '\\' && position + 1 < text.size()) c = text[++position];
        out += c;
    }
    return false;
}

}  // namespace

bool http_digest_header::parse(const std::string& value) {
    scheme_.clear();
    parameters_.clear();
    const size_t blank = value.find_first_of(" \t");
    if (blank == 0 || blank == std::string::npos) return false;
    scheme_ = value.substr(0, blank);
    for (size_t position = blank; position < value.size();) {
        if (!read_pair(value, position)) {
            scheme_.clear();
            parameters_.clear();
            return false;
        }
    }
    return true;
}

bool http_digest_header::read_pair(const std::string& value, size_t& position) {
    while (position < value.size() && (is_blank(value[position]) || value[position] == ',')) ++position;
    if (position == value.size()) return true;
    const size_t name_end = value.find_first_of("=,", position);
    const std::string name = ipc_to_lower(ipc_trim(value.substr(position, name_end - position)));
    if (name_end == std::string::npos || value[name_end] == ',') {
        position = name_end;  // no "=": skipped
        return true;
    }
    position = name_end + 1;
    skip_blanks(value, position);
    std::string text;
    if (position < value.size() && value[position] == '"') {
        if (!read_quoted(value, position, text)) return false;
        skip_blanks(value, position);
        if (position < value.size() && value[position] != ',') return false;
    } else {
        const size_t end = value.find(',', position);
        text = ipc_trim(value.substr(position, end - position));
        position = end;
    }
    if (parameters_.count(name) == 0 && parameters_.size() == kMaxParameters) return false;
    parameters_[name] = text;
    return true;
}

bool http_digest_header::has_scheme(const std::string& scheme) const {
    return ipc_equal_ignoring_case(scheme_, scheme);
}

const std::string& http_digest_header::parameter(const std::string& name) const {
    static const std::string kAbsent;
    const auto it = parameters_.find(name);
    return it == parameters_.end() ? kAbsent : it->second;
}

uint32_t http_digest_header::nonce_count() const {
    uint64_t count = 0;
    for (const char c : parameter("nc")) {
        const int digit = ipc_hex_digit_value(c);
        if (digit < 0) break;
        count = std::min<uint64_t>(count * 16 + static_cast<uint64_t>(digit), UINT32_MAX);
    }
    return static_cast<uint32_t>(count);
}

std::string http_digest_header::expected_response(const std::string& method, const std::string& password) const {
    const std::string ha1 = ipc_md5_hex(parameter("username") + ":" + parameter("realm") + ":" + password);
    const std::string ha2 = ipc_md5_hex(method + ":" + parameter("uri"));
    return ipc_md5_hex(ha1 + ":" + parameter("nonce") + ":" + parameter("nc") + ":" + parameter("cnonce") + ":" +
                       parameter("qop") + ":" + ha2);
}
