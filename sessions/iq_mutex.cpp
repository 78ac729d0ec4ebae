#include "sessions/iq_mutex.h"

#include "sessions/lock_order.h"

void IQMutex::lock() {
    lock_order::assert_no_session_mutex_held("IQMutex::lock");
    mutex_.lock();
}

void IQMutex::unlock() {
    mutex_.unlock();
}
