#include "ipc/http/http_response.h"

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"

void http_response::reset() {
    http_message::reset();
    status_ = 0;
    reason_.clear();
}

void http_response::set_status(uint32_t code, const std::string& reason) {
    status_ = code;
    reason_ = reason;
}

void http_response::add_cookie(const std::string& name, const std::string& value) {
    add_header("Set-Cookie", name + "=" + ipc_quote(value, '"') + "; Version=\"1\"");
}

void http_response::read_start_line() {
    const std::string& line = start_line();
    const size_t slash = line.find('/');
    size_t space;
    if (slash != std::string::npos && slash + 1 < line.size()) {
        set_protocol_name(line.substr(0, slash));
        space = line.find(' ', slash + 1);
        if (!read_version(std::string_view(line).substr(slash + 1, space - slash - 1))) {
            throw Exception("Malformed HTTP version");
        }
    } else {
        // No version: "PROTOCOL code reason".
        space = line.find(' ');
        if (space == std::string::npos) throw Exception("Malformed HTTP protocol");
        set_protocol_name(line.substr(0, space));
    }
    const size_t code_start = space == std::string::npos ? 0 : space + 1;
    if (code_start >= line.size()) return;
    const size_t code_end = line.find(' ', code_start);
    const std::string code = line.substr(code_start, code_end - code_start);
    if (code_end == std::string::npos || code.size() != 3 ||
        code.find_first_not_of("0123456789") != std::string::npos) {
        throw Exception("Malformed HTTP response code");
    }
    status_ = ipc_string_to_uint(code);
    reason_ = line.substr(code_end + 1);
}

std::string http_response::print_start_line() const {
    if (reason_.find_first_of("\r\n") != std::string::npos)
        throw Exception("serialize: Illegal characters in HTTP reason");
    return print_protocol() + " " + ipc_uint_to_string(status_) + " " + reason_;
}

bool http_response::has_no_body() const {
    return request_method_ == "HEAD" || (status_ >= 100 && status_ < 200) || status_ == 204 || status_ == 304;
}
