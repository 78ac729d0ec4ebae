#include "ipc/http/url_parts.h"

#include <cstring>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"

namespace {

bool is_unsafe_on_request_line(unsigned char c) {
    return c <= 0x20 || c >= 0x7F;
}

// The query prints as given, except what would end the request line or the URL there.
std::string escape_query(const std::string& query) {
    std::string out;
    for (const char c : query) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_unsafe_on_request_line(byte) || c == '#') {
            out += '%';
            ipc_append_hex_byte(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

UrlParts::UrlParts(const std::string& text) {
    parse(text);
}

void UrlParts::clear() {
    *this = UrlParts();
}

void UrlParts::set_host(const std::string& text, bool is_v6) {
    host = text;
    has_host = true;
    host_is_v6 = is_v6;
}

void UrlParts::set_user(const std::string& text) {
    user = text;
    has_user = true;
}

void UrlParts::set_pass(const std::string& text) {
    pass = text;
    has_pass = true;
}

void UrlParts::set_port(uint32_t number) {
    port = number;
    has_port = true;
}

void UrlParts::set_path(const std::string& text) {
    path = text;
    has_path = true;
}

void UrlParts::set_query(const std::string& text) {
    query = text;
    has_query = true;
}

void UrlParts::set_fragment(const std::string& text) {
    fragment = text;
    has_fragment = true;
}

void UrlParts::set_params(const std::string& text) {
    params = text;
    has_params = true;
}

bool UrlParts::parse(const std::string& text) {
    clear();
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    scheme = text.substr(0, colon);
    size_t position = colon + 1;
    if (text.compare(position, 2, "//") == 0) position += 2;
    if (position >= text.size()) return true;

    const size_t end = text.find_first_of("/?#;", position);
    const size_t authority_end = end == std::string::npos ? text.size() : end;
    const size_t at_sign = text.find('@', position);
    if (at_sign != std::string::npos && at_sign < authority_end) {
        read_user_info(text, position, at_sign);
        position = at_sign + 1;
        if (position >= text.size()) return true;
    }
    parse_host_port(text.substr(position, authority_end - position));
    if (end != std::string::npos) parse_path(text.substr(end));
    return true;
}

void UrlParts::read_user_info(const std::string& text, size_t start, size_t at_sign) {
    has_user = true;
    const size_t colon = text.find(':', start);
    // A colon right before the "@" would leave an empty password: it stays in the user name.
    if (colon != std::string::npos && colon + 2 <= at_sign) {
        user = ipc_url_decode(text.substr(start, colon - start));
        set_pass(ipc_url_decode(text.substr(colon + 1, at_sign - colon - 1)));
    } else {
        user = ipc_url_decode(text.substr(start, at_sign - start));
    }
}

void UrlParts::parse_host_port(const std::string& authority) {
    size_t port_colon = std::string::npos;
    const size_t close = authority.find(']');
    if (!authority.empty() && authority[0] == '[' && close != std::string::npos) {
        host_is_v6 = true;
        host = ipc_url_decode(authority.substr(1, close - 1));
        if (close + 2 < authority.size() && authority[close + 1] == ':') port_colon = close + 1;
    } else {
        const size_t colon = authority.find(':');
        host = ipc_url_decode(authority.substr(0, colon));
        if (colon != std::string::npos && colon + 1 < authority.size()) port_colon = colon;
    }
    has_host = !host.empty();
    if (port_colon != std::string::npos) set_port(ipc_string_to_uint(authority.substr(port_colon + 1)));
}

void UrlParts::parse_path(const std::string& text) {
    for (size_t start = 0; start < text.size();) {
        const size_t next = text.find_first_of("?#;", start + 1);
        const std::string piece = text.substr(start, next - start);
        start = next;
        // A "+" in a path is a plus; only forms (the query and what follows) write blanks as "+".
        const std::string as_path = ipc_url_decode(piece, false);
        if (as_path[0] == '/') {
            set_path(as_path);
            continue;
        }
        const std::string decoded = ipc_url_decode(piece);
        switch (decoded[0]) {
        case '?': set_query(decoded.substr(1)); break;
        case '#': set_fragment(decoded.substr(1)); break;
        case ';': set_params(decoded.substr(1)); break;
        default: break;
        }
    }
}

std::string UrlParts::host_port_string() const {
    if (!has_host) return {};
    for (const char c : host) {
        if (is_unsafe_on_request_line(static_cast<unsigned char>(c)) || std::strchr("/?#@", c)) {
            throw Exception("host_port_string: Illegal characters in URL host %s", ipc_url_encode(host).c_str());
        }
    }
    std::string text = host_is_v6 ? "[" + host + "]" : host;
    if (has_port) text += ":" + ipc_uint_to_string(port);
    return text;
}

std::string UrlParts::target(bool with_fragment) const {
    std::string text;
    if (has_path) text += ipc_url_encode(path, false);
    if (has_query) text += (scheme == "sip" ? ";" : "?") + escape_query(query);
    if (has_fragment && with_fragment) text += "#" + ipc_url_encode(fragment);
    if (has_params) text += ";" + ipc_url_encode(params);
    return text;
}

std::string UrlParts::path_string() const {
    return target(true);
}

std::string UrlParts::request_target() const {
    return target(false);
}

std::string UrlParts::to_string() const {
    std::string text = scheme + (scheme == "sip" ? ":" : "://");
    if (has_user) {
        text += ipc_url_encode(user);
        if (has_pass) text += ":" + ipc_url_encode(pass);
        text += "@";
    }
    return text + host_port_string() + path_string();
}

std::string UrlParts::dump() const {
    std::string text = "scheme=" + scheme;
    if (has_user) text += " user=" + user;
    if (has_pass) text += " pass=" + pass;
    if (has_host) text += " host=" + host;
    if (has_port) text += " port=" + ipc_uint_to_string(port);
    if (has_path) text += " path=" + path;
    if (has_query) text += " query=" + query;
    if (has_fragment) text += " fragment=" + fragment;
    if (has_params) text += " params=" + params;
    return text;
}
