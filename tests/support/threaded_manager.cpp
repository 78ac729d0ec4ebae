#include "tests/support/threaded_manager.h"

namespace test_support {

ThreadedManager::ThreadedManager(uint32_t timer_interval_ms, bool is_started,
                                 platform::ReadinessPoller::Backend backend)
    : IPCManager(backend) {
    set_timer_interval(timer_interval_ms);
    if (is_started) start();
}

void ThreadedManager::start() {
    loop_thread_ = std::thread([this] { event_loop(); });
}

void ThreadedManager::stop_loop() {
    stop();
    if (loop_thread_.joinable()) loop_thread_.join();
}

void ThreadedManager::on_loop() {
    ++loop_passes_;
    const int64_t pause_ms = pause_ms_.exchange(0);
    if (pause_ms == 0) return;
    is_standing_still_ = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));  // the pause is the behaviour
    is_standing_still_ = false;
}

ThreadedManager::~ThreadedManager() {
    stop_loop();
}

}  // namespace test_support
