#pragma once

class IPCMutex;

// Holds an IPCMutex for one block. A null mutex gives a guard that holds nothing.
class IPCMutexGuard {
public:
    explicit IPCMutexGuard(IPCMutex* mutex);
    ~IPCMutexGuard();
    IPCMutexGuard(const IPCMutexGuard&) = delete;
    IPCMutexGuard& operator=(const IPCMutexGuard&) = delete;

    // Releases early; does nothing when the guard holds nothing (never held, or already released).
    void unlock();

private:
    IPCMutex* mutex_;
    bool is_held_;
};
