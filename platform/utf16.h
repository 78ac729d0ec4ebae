#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The one UTF-8 decoder and encoder of the program, and the UTF-8 <-> UTF-16 conversion for text
// that crosses a 16-bit-character interface. Ill-formed input (bad UTF-8 sequences, overlong forms,
// encoded surrogates, lone UTF-16 surrogates) is never dropped silently: each bad unit becomes
// U+FFFD, so lengths and neighbouring characters survive.

// The length of the well-formed UTF-8 sequence at text[i], with its code point in `code`; 0 when the
// bytes there are ill-formed (overlong, an encoded surrogate, beyond U+10FFFF, or cut short).
size_t utf8_sequence_length(std::string_view text, size_t i, char32_t& code);
// Appends one code point (at most U+10FFFF, no surrogate) as UTF-8.
void append_code_point(std::string& out, char32_t code);
// Appends UTF-16 code units as UTF-8.
void append_utf8(std::string& out, const char16_t* units, size_t count);

std::u16string utf8_to_utf16(const std::string& utf8);
std::string utf16_to_utf8(const std::u16string& utf16);

}  // namespace platform
