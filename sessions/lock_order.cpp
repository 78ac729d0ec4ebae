#include "sessions/lock_order.h"

#include <QtGlobal>

namespace lock_order {

#ifdef KESTRANE_CHECK_LOCK_ORDER
namespace {
thread_local int session_mutexes_held = 0;
}  // namespace

void session_mutex_locked() {
    ++session_mutexes_held;
}

void session_mutex_unlocked() {
    --session_mutexes_held;
}

void assert_no_session_mutex_held(const char* where) {
    if (session_mutexes_held != 0) {
        qFatal("%s: a manager lock was taken (or a message sent) while holding a session mutex", where);
    }
}
#else
void session_mutex_locked() {}
void session_mutex_unlocked() {}
void assert_no_session_mutex_held(const char*) {}
#endif

}  // namespace lock_order
