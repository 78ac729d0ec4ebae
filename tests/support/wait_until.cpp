#include "tests/support/wait_until.h"

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

namespace test_support {

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto give_up = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= give_up) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool returns_by(std::function<void()> call, std::chrono::milliseconds deadline) {
    const auto has_returned = std::make_shared<std::atomic<bool>>(false);
    std::thread([call = std::move(call), has_returned] {
        call();
        *has_returned = true;
    }).detach();
    return wait_until([&has_returned] { return has_returned->load(); }, deadline);
}

}  // namespace test_support
