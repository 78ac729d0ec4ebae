#pragma once

#include <string>

#include "ipc/http/http_message.h"

class UrlParts;

// An HTTP request: the record whose start line is "METHOD target PROTOCOL/major.minor". It reads that
// line once its header block is complete, and converts to and from a URL record and reads cookies.
// Printing refuses a method or target that holds a blank or control byte, which would split the
// request line.
class http_request : public http_message {
public:
    explicit http_request(const std::string& line_end) : http_message(line_end) {}

    void reset() override;

    const std::string& method() const { return method_; }
    void set_method(const std::string& method) { method_ = method; }
    // The request target as written: path and query, not decoded.
    const std::string& uri() const { return uri_; }
    void set_uri(const std::string& uri) { uri_ = uri; }

    // Target and "Host" from the URL (no "Host" without a host). Throws for a port above 65535 or a
    // host the URL record refuses to print.
    void set_url(const UrlParts& url);
    // The URL of this request under `scheme`: host and port from "Host", the rest from the target,
    // the path cut at its first NUL.
    UrlParts to_url(const std::string& scheme) const;
    bool has_cookie(const std::string& name) const;
    // The first cookie of that name that has a value ("=" and what follows, quotes dropped).
    std::string cookie(const std::string& name) const;

protected:
    void read_start_line() override;
    std::string print_start_line() const override;

private:
    // Finds the first cookie piece named `name` (with a value when `needs_value`).
    bool find_cookie(const std::string& name, bool needs_value, std::string* value) const;

    std::string method_;
    std::string uri_;
};
