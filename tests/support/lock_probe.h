#pragma once

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "tests/support/deadline_factor.h"

namespace test_support {

// Tells whether a lock is free for other threads at a given moment, such as inside a slot: a slot
// that runs while its caller holds the lock keeps every other thread waiting until it returns.
// Each probe takes and releases the lock on a thread of its own; a probe that finds the lock held
// finishes once it is released, and the destructor waits for that.
class LockProbe {
public:
    LockProbe() = default;
    LockProbe(const LockProbe&) = delete;
    LockProbe& operator=(const LockProbe&) = delete;
    ~LockProbe() {
        for (std::thread& probe : probes_) probe.join();
    }

    // True when another thread takes and releases `lock` within `deadline`. `lock` (anything with
    // lock() and unlock()) must outlive this object.
    template <class Lockable>
    bool is_free(Lockable& lock, std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(2))) {
        std::promise<void> taken;
        std::future<void> has_taken = taken.get_future();
        probes_.emplace_back([&lock, taken = std::move(taken)]() mutable {
            lock.lock();
            lock.unlock();
            taken.set_value();
        });
        return has_taken.wait_for(deadline) == std::future_status::ready;
    }

private:
    std::vector<std::thread> probes_;
};

}  // namespace test_support
