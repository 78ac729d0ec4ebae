#pragma once

#include <functional>
#include <string>

namespace test_support {

// The what() of the Exception the action throws; "(no exception)" when it throws none. Other
// exceptions pass through, so that a test sees them as the failure they are.
std::string error_of(const std::function<void()>& action);

}  // namespace test_support
