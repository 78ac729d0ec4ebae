#include "ipc/message/xml_frame_scanner.h"

#include <utility>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "platform/utf16.h"

namespace xml_frame {

namespace {

bool is_control(unsigned char byte) {
    return byte < 0x20;  // tab, line feed and carriage return never reach the callers
}

// QChar::isSpace above ASCII: NEL, and the Unicode space, line and paragraph separators.
bool is_unicode_space(char32_t code) {
    return code == 0x85 || code == 0xA0 || code == 0x1680 || (code >= 0x2000 && code <= 0x200A) || code == 0x2028 ||
           code == 0x2029 || code == 0x202F || code == 0x205F || code == 0x3000;
}

bool is_xml_char(uint32_t code) {
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// The digits of a character reference as QString::toUInt reads them in `base`: Unicode white space
// around them is dropped, the rest must be ASCII letters and digits that strtoull reads whole, with
// an optional "0x" in base 16. 0 when they do not read (0 is no character anyway).
uint32_t character_reference_value(std::string_view digits, int base) {
    while (!digits.empty()) {
        char32_t code;
        const size_t length = platform::utf8_sequence_length(digits, 0, code);
        if (!is_unicode_space(code)) break;
        digits.remove_prefix(length);
    }
    while (!digits.empty()) {
        size_t start = digits.size() - 1;
        while (start > 0 && (static_cast<unsigned char>(digits[start]) & 0xC0) == 0x80) --start;
        char32_t code;
        platform::utf8_sequence_length(digits, start, code);
        if (!is_unicode_space(code)) break;
        digits.remove_suffix(digits.size() - start);
    }
    if (base == 16 && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X') &&
        ipc_hex_digit_value(digits[2]) >= 0) {
        digits.remove_prefix(2);
    }
    if (digits.empty()) return 0;
    uint64_t value = 0;
    for (const char c : digits) {
        const int digit = base == 16 ? ipc_hex_digit_value(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) return 0;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > UINT32_MAX) return 0;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

[[noreturn]] void Scanner::fail(const std::string& reason) const {
    long long line = 1;
    const unsigned char* line_start = begin_;
    for (const unsigned char* c = begin_; c < p_; ++c) {
        if (*c == '\n' || (*c == '\r' && (c + 1 == p_ || c[1] != '\n'))) {
            ++line;
            line_start = c + 1;
        }
    }
    long long column = 0;
    for (const unsigned char* c = line_start; c < p_; ++c) column += (*c & 0xC0) != 0x80;
    throw Exception("%s: %s at line %lld, column %lld", "read_xml_element", reason.c_str(), line, column);
}

// Takes the character at p_, a kSpecial byte: a refused control or a multi-byte sequence that
// must be well formed and an XML character. Returns the character.
char32_t Scanner::take_special() {
    if (is_control(*p_)) fail("Invalid XML character.");
    char32_t code;
    const size_t length = platform::utf8_sequence_length(view(begin_, end_), static_cast<size_t>(p_ - begin_), code);
    if (length == 0) fail("Encountered incorrectly encoded content.");
    if (code == 0xFFFE || code == 0xFFFF) fail("Invalid XML character.");
    p_ += length;
    return code;
}

// Decodes the reference at p_ ("&") into `out`; returns the character when it is one (for
// the "]]>" rule), else 0.
char32_t Scanner::read_reference(std::string& out) {
    ++p_;
    if (p_ == end_) fail_premature();
    if (*p_ == '#') {
        ++p_;
        const unsigned char* start = p_;
        while (true) {
            if (p_ == end_) fail_premature();
            if (kBytes.of[*p_] & kSpecial) {
                take_special();
            } else if (kBytes.of[*p_] & (kSpace | kPunctuation)) {
                break;
            } else {
                ++p_;
            }
        }
        if (p_ == start) fail_unexpected();
        const std::string_view digits = view(start, p_);
        expect(';');
        const uint32_t code =
            digits[0] == 'x' ? character_reference_value(digits.substr(1), 16) : character_reference_value(digits, 10);
        if (!is_xml_char(code)) fail("Invalid character reference.");
        platform::append_code_point(out, code);
        return code;
    }
    const Name name = scan_name(false);
    expect(';');
    static constexpr std::pair<std::string_view, char> kPredefined[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
    for (const auto& entity : kPredefined) {
        if (name.local == entity.first) {
            out += entity.second;
            return static_cast<unsigned char>(entity.second);
        }
    }
    fail("Entity '" + std::string(name.local) + "' not declared.");
}

// The text of a value scan_value took, into `out`. `normalizes` makes tab, line feed and
// carriage return (with a line feed after it) a blank, as in element attributes; without it a
// carriage return stays one, except where the Qt reader reads it as a token of its own (first in
// the value, or after a quote of the other kind), where it becomes a line feed.
void Scanner::decode_value(std::string_view value, std::string& out, bool normalizes) {
    // References are read where they lie; p_ comes back after the value's closing quote.
    const unsigned char* const after = p_;
    const unsigned char* const last = reinterpret_cast<const unsigned char*>(value.data() + value.size());
    p_ = reinterpret_cast<const unsigned char*>(value.data());
    out.clear();
    const unsigned char* token_start = p_;
    while (p_ < last) {
        const unsigned char* run = p_;
        p_ = skip_until(p_, last, kValueStop | kSpecial);
        out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p_ - run));
        if (p_ == last) break;
        const unsigned char byte = *p_;
        switch (byte) {
        case '"':
        case '\'':
            out += static_cast<char>(byte);
            token_start = ++p_;
            break;
        case '<': fail("'<' in an attribute value.");
        case '&': read_reference(out); break;
        case '\r': {
            const bool is_token = p_ == token_start;
            ++p_;
            if (p_ < last && *p_ == '\n') ++p_;
            out += normalizes ? ' ' : is_token ? '\n' : '\r';
            break;
        }
        case '\t':
        case '\n':
            out += normalizes ? ' ' : static_cast<char>(byte);
            ++p_;
            break;
        default:  // a sequence scan_value has checked
            run = p_;
            take_special();
            out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p_ - run));
        }
    }
    p_ = after;
}

}  // namespace xml_frame
