#include "ipc/base/ipc_mutex_guard.h"

#include "ipc/base/ipc_mutex.h"

IPCMutexGuard::IPCMutexGuard(IPCMutex* mutex) : mutex_(mutex), is_held_(mutex != nullptr) {
    if (mutex_) mutex_->lock();
}

IPCMutexGuard::~IPCMutexGuard() {
    unlock();
}

void IPCMutexGuard::unlock() {
    if (!is_held_) return;
    is_held_ = false;
    mutex_->unlock();
}
