#include "sessions/annotated_recursive_mutex.h"

#if defined(__SANITIZE_THREAD__)
#define KESTRANE_ANNOUNCE_LOCKS
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KESTRANE_ANNOUNCE_LOCKS
#endif
#endif

#ifdef KESTRANE_ANNOUNCE_LOCKS
#include <sanitizer/tsan_interface.h>
#endif

AnnotatedRecursiveMutex::AnnotatedRecursiveMutex() {
#ifdef KESTRANE_ANNOUNCE_LOCKS
    __tsan_mutex_create(this, __tsan_mutex_write_reentrant);
#endif
}

AnnotatedRecursiveMutex::~AnnotatedRecursiveMutex() {
#ifdef KESTRANE_ANNOUNCE_LOCKS
    __tsan_mutex_destroy(this, 0);
#endif
}

void AnnotatedRecursiveMutex::lock() {
#ifdef KESTRANE_ANNOUNCE_LOCKS
    __tsan_mutex_pre_lock(this, 0);
    mutex_.lock();
    __tsan_mutex_post_lock(this, 0, 0);
#else
    mutex_.lock();
#endif
}

void AnnotatedRecursiveMutex::unlock() {
#ifdef KESTRANE_ANNOUNCE_LOCKS
    __tsan_mutex_pre_unlock(this, 0);
    mutex_.unlock();
    __tsan_mutex_post_unlock(this, 0);
#else
    mutex_.unlock();
#endif
}
