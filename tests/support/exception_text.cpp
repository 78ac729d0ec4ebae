#include "tests/support/exception_text.h"

#include "ipc/base/exception.h"

namespace test_support {

std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no exception)";
}

}  // namespace test_support
