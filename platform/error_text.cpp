#include "platform/error_text.h"

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// strerror_r comes in two flavours; overloads pick whichever the C library declares.
[[maybe_unused]] const char* pick_text(int result, const char* buffer) {
    return result == 0 ? buffer : "";  // XSI flavour: fills the buffer, returns 0 on success
}

[[maybe_unused]] const char* pick_text(const char* result, const char*) {
    return result;  // GNU flavour: returns a pointer, possibly to a static text
}

}  // namespace

std::string error_text(int error_number) {
    char buffer[256] = {};
    return pick_text(strerror_r(error_number, buffer, sizeof buffer), buffer);
}

std::string last_error_text() {
    return error_text(errno);
}

}  // namespace platform
