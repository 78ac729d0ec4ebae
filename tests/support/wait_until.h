#pragma once

#include <chrono>
#include <functional>

#include "tests/support/deadline_factor.h"

namespace test_support {

// Polls `condition` until it holds or the deadline passes; returns its last value. Tests wait on
// conditions like this instead of sleeping for a guessed time. A give-up deadline passed here is
// scaled by the caller (give_up_after); a window in which the condition must not come is not.
bool wait_until(const std::function<bool()>& condition,
                std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(10)));

}  // namespace test_support
