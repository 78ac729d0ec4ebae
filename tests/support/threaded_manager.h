#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "ipc/base/ipc_recursive_mutex.h"
#include "ipc/net/ipc_manager.h"

namespace test_support {

// A manager with real locks whose loop runs on its own thread until the object is destroyed.
// A subclass that overrides virtual operations passes is_started = false and calls start() at the
// end of its own constructor, and calls stop_loop() in its destructor, so the loop never sees a
// half-built or half-destroyed object.
class ThreadedManager : public IPCManager {
public:
    explicit ThreadedManager(uint32_t timer_interval_ms = 0, bool is_started = true,
                             platform::ReadinessPoller::Backend backend = platform::ReadinessPoller::default_backend());
    ~ThreadedManager() override;

    void start();
    void stop_loop();

    IPCMutex* get_lock() const override { return &lock_; }
    IPCMutex* get_queue_lock() const override { return &queue_lock_; }
    void on_loop() override;

    // Iterations of the socket loop so far: a loop that spins shows here.
    uint64_t loop_passes() const { return loop_passes_; }
    // The loop's next pass stands still this long under the lock before it looks at anything, as a
    // stopped process or a suspended machine does.
    void stand_still_once(std::chrono::milliseconds pause) { pause_ms_ = pause.count(); }
    bool is_standing_still() const { return is_standing_still_; }

private:
    std::atomic<uint64_t> loop_passes_{0};
    std::atomic<int64_t> pause_ms_{0};
    std::atomic<bool> is_standing_still_{false};
    mutable IPCRecursiveMutex lock_;
    mutable IPCRecursiveMutex queue_lock_;
    std::thread loop_thread_;
};

}  // namespace test_support
