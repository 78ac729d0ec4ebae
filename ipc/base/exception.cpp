#include "ipc/base/exception.h"

#include <cstdarg>
#include <cstdio>

#include "platform/c_locale.h"
#include "platform/error_text.h"

namespace {

constexpr size_t kMaxTextLength = 4095;

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

std::string ipc_last_error_text(bool /*socket_error*/) {
    return platform::last_error_text();
}
