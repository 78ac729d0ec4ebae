#pragma once

#include <QRecursiveMutex>

// A recursive Qt mutex that ThreadSanitizer sees. Debian's Qt is built without it, so it cannot
// see a QRecursiveMutex order the threads that take it: every access such a lock guards looks like
// a race to it, it checks nothing there (the Qt frames on the stacks suppress each report), and
// weighing those reports kept the session and manager locks held for up to two minutes. Under
// ThreadSanitizer each lock and unlock is announced to it; in other builds this is the Qt mutex
// alone. Usable with std::lock_guard.
//
// Threads: any thread may lock and unlock; recursive.
class AnnotatedRecursiveMutex {
public:
    AnnotatedRecursiveMutex();
    ~AnnotatedRecursiveMutex();
    void lock();
    void unlock();

private:
    QRecursiveMutex mutex_;
};
