#include <gtest/gtest.h>

#include <stdexcept>

#include "ipc/base/ipc_mutex.h"
#include "ipc/base/ipc_mutex_guard.h"

namespace {

class CountingMutex : public IPCMutex {
public:
    void lock() override { ++locks; }
    void unlock() override { ++unlocks; }
    int locks = 0;
    int unlocks = 0;
};

TEST(IPCMutexGuard, LocksOnceAndUnlocksOnce) {
    CountingMutex mutex;
    {
        IPCMutexGuard guard(&mutex);
        EXPECT_EQ(mutex.locks, 1);
        guard.unlock();
        guard.unlock();  // a second release does nothing
    }
    EXPECT_EQ(mutex.unlocks, 1);
}

TEST(IPCMutexGuard, UnlocksWhenAnExceptionPasses) {
    CountingMutex mutex;
    try {
        IPCMutexGuard guard(&mutex);
        throw std::runtime_error("boom");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(mutex.locks, 1);
    EXPECT_EQ(mutex.unlocks, 1);
}

TEST(IPCMutexGuard, NullMutexHoldsNothing) {
    IPCMutexGuard guard(nullptr);
    guard.unlock();  // must not dereference anything
    SUCCEED();
}

}  // namespace
