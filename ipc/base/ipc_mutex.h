#pragma once

// The lock interface the transport takes around its queues, maps and sockets. The base class
// gives no exclusion at all; a subclass that needs one (the sessions' Qt mutex) overrides both.
class IPCMutex {
public:
    virtual ~IPCMutex();
    virtual void lock();
    virtual void unlock();
};
