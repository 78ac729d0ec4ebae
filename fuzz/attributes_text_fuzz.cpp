// The attribute text form reader (name=value pairs, quoted values with backslash escapes). It must
// accept anything without reading past the end, and what it read must survive writing and reading.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ipc/message/message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so that ASan catches any read past the end.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Message::Attributes list(input);
    const std::string text = list.to_string();
    const Message::Attributes back(text);
    if (back != list || back.to_string() != text) std::abort();
    return 0;
}
