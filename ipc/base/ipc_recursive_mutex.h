#pragma once

#include <mutex>

#include "ipc/base/ipc_mutex.h"

// A real lock behind the library's lock interface, for a manager whose operations are called from
// several threads. Recursive, as the manager's loop takes its lock again inside each round.
class IPCRecursiveMutex : public IPCMutex {
public:
    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};
