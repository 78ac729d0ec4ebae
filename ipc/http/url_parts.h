#pragma once

#include <cstdint>
#include <string>

// A URL split into its parts, each with a presence flag (the scheme's is its being non-empty), read
// from text and printed back. Parts are kept percent-decoded. It also reads SIP-style URLs (no "//",
// parameters after ";"), which print without "//" and with the query behind ";".
//
// Printing keeps what it writes on one request line: the path is percent-encoded (a blank as
// "%20"; "+" stays "+" both ways), the query has its blanks, control bytes, "#" and bytes from 0x80
// encoded, and a host holding any of those or "/", "?", "@" is refused with an Exception. The port
// is kept as read, however large: whoever connects checks its range.
class UrlParts {
public:
    UrlParts() = default;
    // The parts of `text` (see parse; its answer is dropped).
    explicit UrlParts(const std::string& text);

    void clear();
    void set_scheme(const std::string& text) { scheme = text; }
    void set_host(const std::string& text, bool is_v6);
    void set_user(const std::string& text);
    void set_pass(const std::string& text);
    void set_port(uint32_t number);
    void set_path(const std::string& text);
    void set_query(const std::string& text);
    void set_fragment(const std::string& text);
    void set_params(const std::string& text);

    // Clears, then reads a whole URL; false (everything cleared) when the text holds no ":".
    bool parse(const std::string& text);
    // "host", "host:port", "[v6]" or "[v6]:port"; other parts stay.
    void parse_host_port(const std::string& authority);
    // Path, ";" parameters, "?" query and "#" fragment; other parts stay. A later piece of a kind
    // replaces an earlier one; pieces that begin with anything else are dropped.
    void parse_path(const std::string& text);

    // "host", "[v6]", with ":port" when present; empty without a host.
    std::string host_port_string() const;
    // Path, query, fragment and parameters, in that order.
    std::string path_string() const;
    // What goes on a request line: path_string without the fragment, which stays with the client.
    std::string request_target() const;
    std::string to_string() const;
    // "scheme=... user=... host=..." of the present parts, as stored; for logs.
    std::string dump() const;

    std::string scheme;
    bool has_host = false;
    bool host_is_v6 = false;  // written in brackets, which the host field does not hold
    bool has_user = false;
    bool has_pass = false;
    bool has_port = false;
    bool has_path = false;
    bool has_query = false;
    bool has_fragment = false;
    bool has_params = false;
    std::string host;
    std::string user;
    std::string pass;
    uint32_t port = 0;
    std::string path;  // with its leading "/"
    std::string query;
    std::string fragment;
    std::string params;

private:
    std::string target(bool with_fragment) const;
    void read_user_info(const std::string& text, size_t start, size_t at_sign);
};
