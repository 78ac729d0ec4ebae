#pragma once

#include <chrono>
#include <functional>

namespace test_support {

// Polls `condition` until it holds or the deadline passes; returns its last value. Tests wait on
// conditions like this instead of sleeping for a guessed time.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace test_support
