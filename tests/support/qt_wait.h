#pragma once

#include <chrono>
#include <functional>

namespace test_support {

// Like wait_until, but keeps the calling thread's Qt event loop running, so that queued slot calls
// from socket loops are delivered while the test waits.
bool wait_processing_events(const std::function<bool()>& condition,
                            std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace test_support
