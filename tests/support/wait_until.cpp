#include "tests/support/wait_until.h"

#include <thread>

namespace test_support {

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto give_up = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= give_up) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace test_support
