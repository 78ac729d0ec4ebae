#include "ipc/base/exception.h"

#include <cstdarg>
#include <cstdio>

#include "platform/c_locale.h"
#include "platform/error_text.h"

namespace {

constexpr size_t kMaxTextLength = 4095;

// An operation's name: a C identifier, as the library and the program name their operations.
bool is_operation_name(std::string_view text) {
    if (text.empty() || (text.front() >= '0' && text.front() <= '9')) return false;
    for (const char c : text) {
        const bool is_word_char =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!is_word_char) return false;
    }
    return true;
}

}  // namespace

Exception::Exception(const char* format, ...) {
    char buffer[kMaxTextLength + 1];
    va_list args;
    va_start(args, format);
    {
        platform::ScopedCLocale c_locale;
        vsnprintf(buffer, sizeof buffer, format, args);
    }
    va_end(args);
    text_ = buffer;
}

const char* Exception::what() const noexcept {
    return text_.c_str();
}

std::string_view ipc_error_reason(std::string_view what) {
    for (size_t colon = what.find(": "); colon != std::string_view::npos && colon > 0; colon = what.find(": ")) {
        if (!is_operation_name(what.substr(0, colon))) break;
        what.remove_prefix(colon + 2);
    }
    return what;
}

std::string ipc_last_error_text(bool /*socket_error*/) {
    return platform::last_error_text();
}
