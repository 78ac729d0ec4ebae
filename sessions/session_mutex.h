#pragma once

#include "sessions/annotated_recursive_mutex.h"

// A session's own recursive mutex: guards its reply cache and the lists parsed from it between the
// socket loop thread (storing replies) and the GUI thread (parsers and views). Usable with
// std::lock_guard / std::unique_lock. May be taken while holding a manager lock, never the other
// way round (see lock_order.h).
class SessionMutex {
public:
    void lock();
    void unlock();

private:
    AnnotatedRecursiveMutex mutex_;
};
