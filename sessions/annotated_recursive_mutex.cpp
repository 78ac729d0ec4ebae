#include "sessions/annotated_recursive_mutex.h"

#include "sessions/thread_handoff.h"

AnnotatedRecursiveMutex::AnnotatedRecursiveMutex() {
#ifdef KESTRANE_THREAD_SANITIZER
    __tsan_mutex_create(this, __tsan_mutex_write_reentrant);
#endif
}

AnnotatedRecursiveMutex::~AnnotatedRecursiveMutex() {
#ifdef KESTRANE_THREAD_SANITIZER
    __tsan_mutex_destroy(this, 0);
#endif
}

void AnnotatedRecursiveMutex::lock() {
#ifdef KESTRANE_THREAD_SANITIZER
    __tsan_mutex_pre_lock(this, 0);
    mutex_.lock();
    __tsan_mutex_post_lock(this, 0, 0);
#else
    mutex_.lock();
#endif
}

void AnnotatedRecursiveMutex::unlock() {
#ifdef KESTRANE_THREAD_SANITIZER
    __tsan_mutex_pre_unlock(this, 0);
    mutex_.unlock();
    __tsan_mutex_post_unlock(this, 0);
#else
    mutex_.unlock();
#endif
}
