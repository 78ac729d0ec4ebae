#pragma once

#include <chrono>
#include <functional>

#include "tests/support/deadline_factor.h"

namespace test_support {

// Like wait_until, but keeps the calling thread's Qt event loop running, so that queued slot calls
// from socket loops are delivered while the test waits. The deadline is as wait_until's.
bool wait_processing_events(const std::function<bool()>& condition,
                            std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(10)));

}  // namespace test_support
