#pragma once

#include <exception>
#include <string>
#include <string_view>

// The library's error type. The text is printf-formatted and, by convention, begins with the name
// of the operation that failed ("get_child: Child row 4 out of range"). Thrown by value, caught by
// reference. Texts longer than 4095 characters are cut.
class Exception : public std::exception {
public:
    explicit Exception(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const char* what() const noexcept override;

private:
    std::string text_;
};

// `what` without the names of the operations that lead it by the convention above, the reason
// alone for an operator ("read_from_file: read_xml_element: Premature end of document" gives
// "Premature end of document"). A text without them is returned as it is.
std::string_view ipc_error_reason(std::string_view what);

// The system's text for the calling thread's last error (errno). The argument is kept for callers
// that distinguish socket errors from other system errors; on this platform both live in errno.
std::string ipc_last_error_text(bool socket_error);
