#include "sessions/session_mutex.h"

#include "sessions/lock_order.h"

void SessionMutex::lock() {
    mutex_.lock();
    lock_order::session_mutex_locked();
}

void SessionMutex::unlock() {
    lock_order::session_mutex_unlocked();
    mutex_.unlock();
}
