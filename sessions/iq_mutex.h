#pragma once

#include "ipc/base/ipc_mutex.h"
#include "sessions/annotated_recursive_mutex.h"

// The manager lock of one worker: a recursive Qt mutex behind the library's lock interface. The
// socket loop holds it for each round but the wait and takes it again inside the round; every
// other thread takes it around any use of the manager's endpoints, connections and send buffers.
class IQMutex : public IPCMutex {
public:
    void lock() override;
    void unlock() override;

private:
    AnnotatedRecursiveMutex mutex_;
};
