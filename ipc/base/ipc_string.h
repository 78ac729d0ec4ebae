#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Free functions on byte strings (UTF-8 where text is meant) used for every text form of the
// library: the number and boolean texts of message values, percent-encoding, quoting, trimming and
// splitting, XML entity escaping, hex and Base64, UTF-16 conversion and path normalisation.
// None keeps state, logs or throws; bad input gives 0, false, an empty or a partial result as each
// function describes. All are reentrant. Number texts never depend on the process locale.

// Number and boolean texts: the text form of message values.
std::string ipc_int_to_string(int32_t value);
std::string ipc_uint_to_string(uint32_t value);
// "inf"/"-inf" beyond the float range, else six decimals ("1.500000"). A NaN gives "nan" or "-nan" by
// its sign bit, as the C printf writes it; both read back as a NaN.
std::string ipc_float_to_string(float value);
std::string ipc_bool_to_string(bool value);
// The C scanner's rules: leading white space, an optional sign, digits up to the first character
// that does not fit, the rest ignored; 0 when nothing is read. Values beyond 32 bits saturate.
int32_t ipc_string_to_int(const std::string& text);
// As above; a minus sign wraps modulo 2^32 ("-1" reads 4294967295).
uint32_t ipc_string_to_uint(const std::string& text);
// Exactly "inf"/"-inf" give infinities; otherwise the C scanner's "%f"; 0 when nothing is read.
float ipc_string_to_float(const std::string& text);
// True only for exactly "true".
bool ipc_string_to_bool(const std::string& text);
// vsscanf over the text, in the "C" locale; returns the number of fields read.
int ipc_sscanf(const char* text, const char* format, ...) __attribute__((format(scanf, 2, 3)));

// Percent-encoding for URLs and form bodies. The encoder copies letters, digits and - _ . ~ / ; = & +,
// so a decoded form value that held "+" comes back as a blank. Outside forms (`is_form` false, for
// URL paths) a blank is written "%20" instead of "+".
std::string ipc_url_encode(const std::string& text, bool is_form = true);
// "%" with two hex digits becomes their byte, and in forms "+" a blank; any other "%" is kept as
// written.
std::string ipc_url_decode(const std::string& text, bool is_form = true);
// For a value that must survive as one query component: copies only letters, digits and - _ . ~.
std::string ipc_url_encode_component(const std::string& text);

// Quoting and escaping.
// Backslashes go before the quote character only; ipc_unquote drops the first and last character
// when the first is the quote, and undoes no backslash.
std::string ipc_quote(const std::string& text, char quote);
std::string ipc_unquote(const std::string& text, char quote);
std::string ipc_escape(const std::string& text);  // XML entities
// For each of the characters in turn, a backslash before every occurrence that does not already follow
// a single (not doubled) backslash.
void ipc_backslash_escape(std::string& text, const std::string& characters);
// ipc_backslash_escape for backslash, "&", apostrophe and "/", in that order.
std::string ipc_backslash_escape_text(const std::string& text);
// Control bytes other than white space, and all bytes from 0x80, become blanks.
void ipc_blank_control_chars(std::string& text);
// Drops a leading "<?...?>" and everything up to the next "<" (all of it when none follows).
void ipc_strip_xml_declaration(std::string& text);

// Case, trimming, joining, splitting, replacing. Case changes touch A-Z and a-z only, whatever the locale.
std::string ipc_to_lower(const std::string& text);
std::string ipc_to_upper(const std::string& text);
bool ipc_equal_ignoring_case(std::string_view a, std::string_view b);
// Equal texts, compared in time independent of where they first differ, so that a secret answer
// cannot be guessed byte by byte from timing (the length is not hidden).
bool ipc_equal_in_constant_time(const std::string& a, const std::string& b);
// Trims blank, tab, line feed and carriage return; a text of nothing else becomes empty.
std::string ipc_trim(const std::string& text, bool left = true, bool right = true);
// The same, as a view into `text`.
std::string_view ipc_trim_view(std::string_view text, bool left = true, bool right = true);
std::string ipc_join(const std::vector<std::string>& pieces, const std::string& separator);
// Runs of delimiters separate pieces without empty ones between or after them, but a leading
// delimiter gives an empty first piece ("/a//b/" gives "", "a", "b"); the empty text gives none.
std::vector<std::string> ipc_split(const std::string& text, const std::string& delimiters);
// Left to right, never searching a replacement again; an empty `from` leaves the text unchanged.
void ipc_replace_all(std::string& text, const std::string& from, const std::string& to);
// Drops empty and "." pieces and resolves ".." without climbing above the root; the result neither
// begins nor ends with "/" ("/a/./b/../c" gives "a/c", "../../etc" gives "etc").
std::string ipc_normalize_path(const std::string& path);

// Empties a byte buffer (std::string or std::vector<char>) and gives its storage back when that is
// larger than `kept_bytes`: reused for small messages it costs no allocation each, and one large
// message does not leave its size behind for as long as the buffer lives.
template <class Buffer>
void ipc_clear_buffer(Buffer& buffer, size_t kept_bytes) {
    if (buffer.capacity() > kept_bytes) {
        Buffer().swap(buffer);
    } else {
        buffer.clear();
    }
}

// Hex and Base64 (RFC 4648, standard alphabet).
// The value of a hex digit of either case, or -1.
int ipc_hex_digit_value(char c);
// Two lower-case hex digits.
void ipc_append_hex_byte(std::string& out, unsigned char byte);
std::string ipc_bytes_to_hex(const std::string& bytes);
// Skips every character that is not a hex digit; a last unpaired digit is dropped ("0a:FF" gives 0A FF).
std::string ipc_hex_to_bytes(const std::string& text);
// `pad` fills the output up to a multiple of 4 with "=".
std::string ipc_base64_encode(const std::string& bytes, bool pad);
// Trailing "=" are ignored; any other character outside the alphabet (blank, line break, "-", "_")
// gives the empty text. Bits that do not fill a byte are dropped.
std::string ipc_base64_decode(const std::string& text);

// The length of the well-formed UTF-8 sequence at text[i] (a byte of 0x80 or above), or 0 when the
// bytes there are ill-formed: overlong, an encoded surrogate, beyond U+10FFFF, or cut short.
// `is_xml_char` tells whether XML 1.0 allows the character (U+FFFE and U+FFFF it does not).
size_t ipc_utf8_sequence_length(std::string_view text, size_t i, bool& is_xml_char);
// Well-formed UTF-8 of characters XML 1.0 allows: no NUL, no C0 control but tab, line feed and
// carriage return, no U+FFFE or U+FFFF.
bool ipc_is_xml_text(std::string_view text);
// Every byte of 0x80 or above belongs to a well-formed UTF-8 sequence.
bool ipc_is_utf8(std::string_view text);
// `text` with each byte that belongs to no well-formed UTF-8 sequence read as the Latin-1
// character of that byte, written in UTF-8; well-formed sequences stay as they are. Text written
// in Latin-1 ("S\xFCdwest") thus reads as meant ("S\xC3\xBCdwest"), and UTF-8 around a stray byte
// keeps its characters.
std::string ipc_utf8_with_latin1_bytes(std::string_view text);
// At most `limit` leading bytes of `bytes` for a log line: printable ASCII as it is, every other
// byte (a backslash too) as \xNN, and "..." after them when bytes were left out.
std::string ipc_escaped_bytes(std::string_view bytes, size_t limit);

// UTF-16 for 16-bit-character interfaces; ill-formed units become U+FFFD.
std::string ipc_utf16_to_utf8(const std::u16string& text);
std::u16string ipc_utf8_to_utf16(const std::string& text);
