#pragma once

// Debian's Qt is built without ThreadSanitizer, so the ways Qt passes work between threads (a posted
// event, a job given to a thread pool, a QThread's end seen through wait()) order nothing that it
// can see: whatever one thread wrote before such a hand-off and the other reads after it looks like
// a race. Where our code hands something over through Qt, it announces the hand-off: release() on
// the handing thread just before, acquire() on the taking thread just after, with the same token
// (the address of the event, the job's state or the thread). Outside ThreadSanitizer builds both
// are empty.

#if defined(__SANITIZE_THREAD__)
#define KESTRANE_THREAD_SANITIZER
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KESTRANE_THREAD_SANITIZER
#endif
#endif

#ifdef KESTRANE_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace thread_handoff {

// Everything the calling thread did so far happens before whatever follows acquire(token).
inline void release([[maybe_unused]] const void* token) {
#ifdef KESTRANE_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(token));
#endif
}

inline void acquire([[maybe_unused]] const void* token) {
#ifdef KESTRANE_THREAD_SANITIZER
    __tsan_acquire(const_cast<void*>(token));
#endif
}

}  // namespace thread_handoff
