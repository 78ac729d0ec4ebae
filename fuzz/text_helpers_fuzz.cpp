// Drives the text helpers that read outside input (URL and form texts, Base64 and hex fields, header
// and attribute texts, number texts of message values, XML for the log, request paths) with arbitrary
// bytes, and checks the round trips and invariants that callers rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ipc/base/ipc_string.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool is_trim_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void check_url(const std::string& text) {
    check(ipc_url_decode(text).size() <= text.size());
    // The encoder copies "+", which decodes to a blank; every other byte comes back as written.
    if (text.find('+') == std::string::npos) check(ipc_url_decode(ipc_url_encode(text)) == text);
}

void check_codecs(const std::string& text) {
    check(ipc_base64_decode(ipc_base64_encode(text, true)) == text);
    check(ipc_base64_decode(ipc_base64_encode(text, false)) == text);
    const std::string decoded = ipc_base64_decode(text);
    check(decoded.size() <= text.size() * 3 / 4);

    check(ipc_hex_to_bytes(ipc_bytes_to_hex(text)) == text);
    size_t digit_count = 0;
    for (const char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) ++digit_count;
    }
    check(ipc_hex_to_bytes(text).size() == digit_count / 2);

    // Whatever the input, one conversion yields well-formed text that converts back unchanged.
    const std::string utf8 = ipc_utf16_to_utf8(ipc_utf8_to_utf16(text));
    check(ipc_utf16_to_utf8(ipc_utf8_to_utf16(utf8)) == utf8);
}

void check_split(const std::string& text, const std::string& delimiters) {
    const std::vector<std::string> pieces = ipc_split(text, delimiters);
    check(text.empty() == pieces.empty());
    for (size_t i = 0; i < pieces.size(); ++i) {
        check(pieces[i].find_first_of(delimiters) == std::string::npos);
        check(i == 0 || !pieces[i].empty());
    }
}

void check_quoting(const std::string& text, char quote) {
    const std::string unquoted = ipc_unquote(text, quote);
    check(unquoted.size() == text.size() || unquoted.size() + 2 == text.size());
    if (text.find(quote) == std::string::npos) check(ipc_unquote(ipc_quote(text, quote), quote) == text);

    const std::string trimmed = ipc_trim(text);
    check(text.find(trimmed) != std::string::npos);
    check(trimmed.empty() || (!is_trim_blank(trimmed.front()) && !is_trim_blank(trimmed.back())));
    check(ipc_trim(trimmed) == trimmed);

    const std::string escaped = ipc_escape(text);
    check(escaped.find_first_of("<>\"'") == std::string::npos);

    std::string blanked = text;
    ipc_blank_control_chars(blanked);
    check(blanked.size() == text.size());
}

void check_numbers(const std::string& text) {
    const int32_t i = ipc_string_to_int(text);
    check(ipc_string_to_int(ipc_int_to_string(i)) == i);
    const uint32_t u = ipc_string_to_uint(text);
    check(ipc_string_to_uint(ipc_uint_to_string(u)) == u);
    const float f = ipc_string_to_float(text);
    const std::string written = ipc_float_to_string(f);
    check(!written.empty() && written.size() < 128);
    ipc_string_to_float(written);
    ipc_string_to_bool(text);
}

void check_xml_and_path(const std::string& text) {
    std::string stripped = text;
    ipc_strip_xml_declaration(stripped);
    check(stripped.size() <= text.size());
    check(text.compare(text.size() - stripped.size(), stripped.size(), stripped) == 0);

    const std::string path = ipc_normalize_path(text);
    check(ipc_normalize_path(path) == path);
    for (const std::string& piece : ipc_split(path, "/")) {
        check(!piece.empty() && piece != "." && piece != "..");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    check_url(text);
    check_codecs(text);
    check_split(text, "/");
    check_split(text, text.substr(0, 2));
    check_quoting(text, text.empty() ? '"' : text[0]);
    check_numbers(text);
    check_xml_and_path(text);
    return 0;
}
