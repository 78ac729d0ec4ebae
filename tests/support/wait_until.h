#pragma once

#include <chrono>
#include <functional>

namespace test_support {

// Polls `condition` until it holds or the deadline passes; returns its last value. Tests wait on
// conditions like this instead of sleeping for a guessed time.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds deadline = std::chrono::seconds(10));

// Whether `call`, run on a thread of its own, has returned by the deadline: for a call that must not
// block, such as a sleep whose time has passed. One that has not is left running; the test's
// process ends it.
bool returns_by(std::function<void()> call, std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace test_support
