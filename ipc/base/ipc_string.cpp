#include "ipc/base/ipc_string.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/c_locale.h"
#include "platform/utf16.h"

namespace {

// Character classes of the "C" locale, written out so that neither the process locale nor a negative
// `char` can change them.
bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_ascii_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The prefix the C scanner's "%d"/"%u" accept: white space, an optional sign, decimal digits.
// The magnitude stops growing at `limit`, which callers choose above their type's range, so
// an over-long number saturates instead of wrapping. False when no digit is read.
bool read_decimal(const std::string& text, uint64_t limit, bool& is_negative, uint64_t& magnitude) {
    size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) ++i;
    is_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) is_negative = text[i++] == '-';
    if (i == text.size() || !is_digit(text[i])) return false;
    magnitude = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > limit) magnitude = limit;
    }
    return true;
}

template <typename Integer>
std::string integer_to_string(Integer value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string ipc_int_to_string(int32_t value) {
    return integer_to_string(value);
}

std::string ipc_uint_to_string(uint32_t value) {
    return integer_to_string(value);
}

std::string ipc_float_to_string(float value) {
    if (value < -FLT_MAX) return "-inf";
    if (value > FLT_MAX) return "inf";
    // FLT_MAX in "%f" is 46 characters, so the buffer always holds the whole text.
    char buffer[128];
    {
        platform::ScopedCLocale c_locale;
        std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
    }
    return buffer;
}

std::string ipc_bool_to_string(bool value) {
    return value ? "true" : "false";
}

int32_t ipc_string_to_int(const std::string& text) {
    bool is_negative;
    uint64_t magnitude;
    if (!read_decimal(text, uint64_t{1} << 32, is_negative, magnitude)) return 0;
    if (is_negative) {
        return magnitude >= uint64_t{1} << 31 ? INT32_MIN : -static_cast<int32_t>(magnitude);
    }
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

uint32_t ipc_string_to_uint(const std::string& text) {
    bool is_negative;
    uint64_t magnitude;
    if (!read_decimal(text, UINT32_MAX, is_negative, magnitude)) return 0;
    const auto value = static_cast<uint32_t>(magnitude);
    return is_negative ? 0u - value : value;
}

float ipc_string_to_float(const std::string& text) {
    if (text == "inf") return std::numeric_limits<float>::infinity();
    if (text == "-inf") return -std::numeric_limits<float>::infinity();
    // strtof_l reads what the C scanner's "%f" reads, in the C locale, without switching the
    // thread's locale: level reports carry several numbers each, many times a second.
    char* end = nullptr;
    const float value = strtof_l(text.c_str(), &end, platform::c_locale());
    return end == text.c_str() ? 0.0f : value;
}

bool ipc_string_to_bool(const std::string& text) {
    return text == "true";
}

int ipc_sscanf(const char* text, const char* format, ...) {
    platform::ScopedCLocale c_locale;
    va_list arguments;
    va_start(arguments, format);
    const int count = std::vsscanf(text, format, arguments);
    va_end(arguments);
    return count;
}

std::string ipc_url_encode(const std::string& text, bool is_form) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (is_ascii_letter(c) || is_digit(c)) {
            out += c;
        } else if (c == ' ' && is_form) {
            out += '+';
        } else {
            switch (c) {
            case '-':
            case '_':
            case '.':
            case '~':
            case '/':
            case ';':
            case '=':
            case '&':
            case '+': out += c; break;
            default: out += '%'; ipc_append_hex_byte(out, static_cast<unsigned char>(c));
            }
        }
    }
    return out;
}

std::string ipc_url_encode_component(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (is_ascii_letter(c) || is_digit(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            ipc_append_hex_byte(out, static_cast<unsigned char>(c));
        }
    }
    return out;
}

std::string ipc_url_decode(const std::string& text, bool is_form) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const int high = c == '%' && i + 2 < text.size() ? ipc_hex_digit_value(text[i + 1]) : -1;
        const int low = high >= 0 ? ipc_hex_digit_value(text[i + 2]) : -1;
        if (c == '+' && is_form) {
            out += ' ';
        } else if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            // A "%" without two hex digits after it is taken as written.
            out += c;
        }
    }
    return out;
}

std::string ipc_quote(const std::string& text, char quote) {
    std::string out;
    out.reserve(text.size() + 2);
    out += quote;
    for (const char c : text) {
        if (c == quote) out += '\\';
        out += c;
    }
    out += quote;
    return out;
}

std::string ipc_unquote(const std::string& text, char quote) {
    if (text.size() < 2 || text.front() != quote) return text;
    return text.substr(1, text.size() - 2);
}

std::string ipc_escape(const std::string& text) {
    // One pass gives the same result as replacing "&" first and the other four after it.
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

void ipc_backslash_escape(std::string& text, const std::string& characters) {
    for (const char target : characters) {
        // Building the result left to right lets "already escaped" look at the text as it stands
        // after the backslashes inserted so far, as an in-place search would, in linear time.
        std::string out;
        out.reserve(text.size() + text.size() / 8);
        for (const char c : text) {
            if (c == target) {
                const size_t n = out.size();
                const bool is_escaped = n >= 1 && out[n - 1] == '\\' && !(n >= 2 && out[n - 2] == '\\');
                if (!is_escaped) out += '\\';
            }
            out += c;
        }
        text.swap(out);
    }
}

std::string ipc_backslash_escape_text(const std::string& text) {
    std::string out = text;
    ipc_backslash_escape(out, "\\&'/");
    return out;
}

void ipc_blank_control_chars(std::string& text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool is_control = byte < 0x20 || byte == 0x7F;
        if (byte >= 0x80 || (is_control && !is_c_space(c))) c = ' ';
    }
}

void ipc_strip_xml_declaration(std::string& text) {
    if (text.compare(0, 2, "<?") != 0) return;
    const size_t declaration_end = text.find("?>");
    if (declaration_end == std::string::npos) return;
    const size_t next_tag = text.find('<', declaration_end + 2);
    if (next_tag == std::string::npos) {
        text.clear();
    } else {
        text.erase(0, next_tag);
    }
}

std::string ipc_to_lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string ipc_to_upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool ipc_equal_ignoring_case(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool ipc_equal_in_constant_time(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::string_view ipc_trim_view(std::string_view text, bool left, bool right) {
    static const char kBlanks[] = " \t\n\r";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return left || right ? std::string_view() : text;
    const size_t begin = left ? first : 0;
    const size_t end = right ? text.find_last_not_of(kBlanks) + 1 : text.size();
    return text.substr(begin, end - begin);
}

std::string ipc_trim(const std::string& text, bool left, bool right) {
    return std::string(ipc_trim_view(text, left, right));
}

std::string ipc_join(const std::vector<std::string>& pieces, const std::string& separator) {
    std::string out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) out += separator;
        out += pieces[i];
    }
    return out;
}

std::vector<std::string> ipc_split(const std::string& text, const std::string& delimiters) {
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    size_t begin = 0;
    while (true) {
        const size_t end = text.find_first_of(delimiters, begin);
        pieces.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
        if (end == std::string::npos) break;
        begin = text.find_first_not_of(delimiters, end);
        if (begin == std::string::npos) break;
    }
    return pieces;
}

void ipc_replace_all(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

std::string ipc_normalize_path(const std::string& path) {
    std::vector<std::string> kept;
    for (auto& piece : ipc_split(path, "/")) {
        if (piece.empty() || piece == ".") continue;
        if (piece == "..") {
            if (!kept.empty()) kept.pop_back();
        } else {
            kept.push_back(std::move(piece));
        }
    }
    return ipc_join(kept, "/");
}

int ipc_hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void ipc_append_hex_byte(std::string& out, unsigned char byte) {
    static const char kHexDigits[] = "0123456789abcdef";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

std::string ipc_bytes_to_hex(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) ipc_append_hex_byte(out, static_cast<unsigned char>(c));
    return out;
}

std::string ipc_hex_to_bytes(const std::string& text) {
    std::string out;
    out.reserve(text.size() / 2);
    int high_nibble = -1;
    for (const char c : text) {
        const int nibble = ipc_hex_digit_value(c);
        if (nibble < 0) continue;
        if (high_nibble < 0) {
            high_nibble = nibble;
        } else {
            out += static_cast<char>(high_nibble * 16 + nibble);
            high_nibble = -1;
        }
    }
    return out;
}

std::string ipc_base64_encode(const std::string& bytes, bool pad) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                               static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                               static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64Alphabet[group >> 18];
        out += kBase64Alphabet[(group >> 12) & 0x3F];
        out += kBase64Alphabet[(group >> 6) & 0x3F];
        out += kBase64Alphabet[group & 0x3F];
    }
    const size_t remainder = bytes.size() - i;
    if (remainder == 0) return out;
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (remainder == 2) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += kBase64Alphabet[group >> 18];
    out += kBase64Alphabet[(group >> 12) & 0x3F];
    if (remainder == 2) out += kBase64Alphabet[(group >> 6) & 0x3F];
    if (pad) out.append(3 - remainder, '=');
    return out;
}

std::string ipc_base64_decode(const std::string& text) {
    size_t length = text.size();
    while (length > 0 && text[length - 1] == '=') --length;
    std::string out;
    out.reserve(length / 4 * 3 + 2);
    uint32_t bits = 0;
    int bit_count = 0;
    for (size_t i = 0; i < length; ++i) {
        const int value = base64_value(text[i]);
        if (value < 0) return std::string();
        bits = ((bits << 6) | static_cast<uint32_t>(value)) & 0xFFFF;  // only the unread bits matter
        bit_count += 6;
        if (bit_count >= 8) {
            bit_count -= 8;
            out += static_cast<char>((bits >> bit_count) & 0xFF);
        }
    }
    return out;
}

size_t ipc_utf8_sequence_length(std::string_view text, size_t i, bool& is_xml_char) {
    char32_t code = 0;
    const bool is_ascii = static_cast<unsigned char>(text[i]) < 0x80;
    const size_t length = is_ascii ? 0 : platform::utf8_sequence_length(text, i, code);
    is_xml_char = length == 0 || (code != 0xFFFE && code != 0xFFFF);  // XML 1.0 forbids these two
    return length;
}

bool ipc_is_xml_text(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') return false;
            ++i;
            continue;
        }
        bool is_xml_char;
        const size_t length = ipc_utf8_sequence_length(text, i, is_xml_char);
        if (length == 0 || !is_xml_char) return false;
        i += length;
    }
    return true;
}

namespace {

// Where the first byte at or after `from` stands that belongs to no well-formed UTF-8 sequence;
// text.size() when none does.
size_t next_stray_byte(std::string_view text, size_t from) {
    char32_t code;
    for (size_t i = from; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const size_t length = platform::utf8_sequence_length(text, i, code);
        if (length == 0) return i;
        i += length;
    }
    return text.size();
}

}  // namespace

bool ipc_is_utf8(std::string_view text) {
    return next_stray_byte(text, 0) == text.size();
}

std::string ipc_utf8_with_latin1_bytes(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t plain = 0;  // start of the run not yet copied
    for (size_t stray = next_stray_byte(text, 0); stray < text.size(); stray = next_stray_byte(text, plain)) {
        out.append(text.data() + plain, stray - plain);
        platform::append_code_point(out, static_cast<unsigned char>(text[stray]));
        plain = stray + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
    return out;
}

std::string ipc_escaped_bytes(std::string_view bytes, size_t limit) {
    std::string out;
    const size_t shown = std::min(bytes.size(), limit);
    out.reserve(shown + 3);
    for (size_t i = 0; i < shown; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x20 || byte >= 0x7F || byte == '\\') {
            out += "\\x";
            ipc_append_hex_byte(out, byte);
        } else {
            out += static_cast<char>(byte);
        }
    }
    if (shown < bytes.size()) out += "...";
    return out;
}

std::string ipc_utf16_to_utf8(const std::u16string& text) {
    return platform::utf16_to_utf8(text);
}

std::u16string ipc_utf8_to_utf16(const std::string& text) {
    return platform::utf8_to_utf16(text);
}
