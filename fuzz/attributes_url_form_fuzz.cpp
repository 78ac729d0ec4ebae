// The form-encoded reader used for HTTP query strings and bodies. What it read must survive
// writing and reading ("&", "=" and "+" included); a null value and an empty one compare equal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ipc/message/message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    Message::Attributes list;
    list.parse_url_form(input);
    const std::string text = list.to_url_form();
    Message::Attributes back;
    back.parse_url_form(text);
    if (back != list) std::abort();
    Message::Attributes again;
    again.parse_url_form(back.to_url_form());
    if (again.to_url_form() != back.to_url_form()) std::abort();
    return 0;
}
