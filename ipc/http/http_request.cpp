#include "ipc/http/http_request.h"

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "ipc/http/url_parts.h"

namespace {

bool splits_request_line(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) return true;
    }
    return false;
}

}  // namespace

void http_request::reset() {
    http_message::reset();
    method_.clear();
    uri_.clear();
}

void http_request::read_start_line() {
    const std::string& line = start_line();
    const size_t first_space = line.find(' ');
    if (first_space == std::string::npos || first_space + 1 == line.size()) throw Exception("Malformed HTTP method");
    method_ = line.substr(0, first_space);
    const size_t second_space = line.find(' ', first_space + 1);
    if (second_space == std::string::npos || second_space + 1 == line.size()) throw Exception("Malformed HTTP URI");
    uri_ = line.substr(first_space + 1, second_space - first_space - 1);
    const size_t slash = line.find('/', second_space + 1);
    if (slash == std::string::npos || slash + 1 == line.size()) throw Exception("Malformed HTTP protocol");
    set_protocol_name(line.substr(second_space + 1, slash - second_space - 1));
    if (!read_version(std::string_view(line).substr(slash + 1))) throw Exception("Malformed HTTP version");
}

std::string http_request::print_start_line() const {
    if (splits_request_line(method_) || splits_request_line(uri_)) {
        throw Exception("serialize: Illegal characters in HTTP request line");
    }
    return method_ + " " + uri_ + " " + print_protocol();
}

void http_request::set_url(const UrlParts& url) {
    if (url.has_port && url.port > 65535) throw Exception("set_url: Port %u out of range", url.port);
    const std::string host = url.host_port_string();
    uri_ = url.request_target();
    if (host.empty()) {
        remove_header("Host");
    } else {
        replace_header("Host", host);
    }
}

UrlParts http_request::to_url(const std::string& scheme) const {
    UrlParts url;
    url.set_scheme(scheme);
    if (header_count("host") != 0) url.parse_host_port(header("host"));
    url.parse_path(uri_);
    url.set_path(url.path.substr(0, url.path.find('\0')));
    return url;
}

bool http_request::find_cookie(const std::string& name, bool needs_value, std::string* value) const {
    for (size_t i = 0; i < header_count("cookie"); ++i) {
        for (const std::string& piece : ipc_split(header("cookie", i), ";")) {
            // Only the first "=" ends the name: a value may hold more (Base64 padding, say).
            const size_t equals = piece.find('=');
            const std::string piece_name = ipc_trim(piece.substr(0, equals));
            if (piece_name.empty() || piece_name != name) continue;
            if (!needs_value) return true;
            if (equals == std::string::npos) continue;
            *value = ipc_unquote(ipc_trim(piece.substr(equals + 1)), '"');
            return true;
        }
    }
    return false;
}

bool http_request::has_cookie(const std::string& name) const {
    return find_cookie(name, false, nullptr);
}

std::string http_request::cookie(const std::string& name) const {
    std::string value;
    find_cookie(name, true, &value);
    return value;
}
