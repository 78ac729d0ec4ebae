#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// The value of an HTTP Digest "Authorization" header (RFC 7616 section 3.4): a scheme name, blanks,
// then comma-separated name=value pairs. A value is a token or a quoted string, which keeps its
// commas and undoes backslash escapes. Names match in any case; a later pair replaces an earlier
// one; a piece without "=" is skipped. The input is a peer's: at most kMaxParameters pairs are
// read, and anything unterminated refuses the whole value.
class http_digest_header {
public:
    static constexpr size_t kMaxParameters = 32;

    // False, leaving nothing read, for a value without a scheme and a blank, an unterminated quoted
    // string, text after a closing quote, or more than kMaxParameters pairs.
    bool parse(const std::string& value);
    // The scheme is `scheme`, as a whole word in any case.
    bool has_scheme(const std::string& scheme) const;
    // The value of the pair of that lower-case name; empty when absent.
    const std::string& parameter(const std::string& name) const;
    // "nc" read as hexadecimal: 0 without digits, saturating above 32 bits.
    uint32_t nonce_count() const;
    // The answer RFC 2617 expects for quality of protection "auth" with MD5, from this header's
    // user, realm, uri, nonce, nc, cnonce and qop as sent.
    std::string expected_response(const std::string& method, const std::string& password) const;

private:
    // Reads one pair from `position`; false when the value is malformed.
    bool read_pair(const std::string& value, size_t& position);

    std::string scheme_;
    std::map<std::string, std::string> parameters_;
};
