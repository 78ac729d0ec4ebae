#pragma once

#include <string>

namespace platform {

// The system's text for an errno value, as strerror_r gives it. Never parsed by callers: it is
// shown to people and written to logs only. An unknown number gives the C library's
// "Unknown error N" text.
std::string error_text(int error_number);

// The text for the calling thread's current errno.
std::string last_error_text();

}  // namespace platform
