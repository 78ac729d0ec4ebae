#pragma once

#include <string>

namespace platform {

// UTF-8 <-> UTF-16 conversion for text that crosses a 16-bit-character interface. Ill-formed input
// (bad UTF-8 sequences, overlong forms, encoded surrogates, lone UTF-16 surrogates) is never dropped
// silently: each bad unit becomes U+FFFD, so lengths and neighbouring characters survive.
std::u16string utf8_to_utf16(const std::string& utf8);
std::string utf16_to_utf8(const std::u16string& utf16);

}  // namespace platform
