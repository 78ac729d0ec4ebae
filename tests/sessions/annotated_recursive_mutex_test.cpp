#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "sessions/annotated_recursive_mutex.h"

namespace {

// Two plain threads (no Qt frames on their stacks to suppress a report) count under the lock, the
// second time round while they hold it already. In the ThreadSanitizer build a lock it cannot see
// ends the program with a race on the count.
TEST(AnnotatedRecursiveMutex, OrdersItsThreadsForThreadSanitizer) {
    AnnotatedRecursiveMutex mutex;
    int count = 0;
    const auto countInTurns = [&] {
        for (int i = 0; i < 1000; ++i) {
            std::lock_guard<AnnotatedRecursiveMutex> outer(mutex);
            std::lock_guard<AnnotatedRecursiveMutex> inner(mutex);
            ++count;
        }
    };
    std::thread other(countInTurns);
    countInTurns();
    other.join();
    EXPECT_EQ(count, 2000);
}

}  // namespace
