#pragma once

class IPCSocket;

// What a socket needs of its owner, the manager whose loop serves it: watching its descriptor as
// it is now, and a wake-up when the socket has been failed or has bytes to send.
class SocketCallback {
public:
    virtual ~SocketCallback() = default;
    // The socket got a descriptor, is about to close it, or may want other readiness than before:
    // the owner brings its watch up to date at once. Called under the owner's lock.
    virtual void socket_callback(IPCSocket* socket) = 0;
    // Any thread may call this; the loop then runs one more iteration.
    virtual void wake() = 0;
};
