#pragma once

class IPCSocket;

// What a socket needs of its owner, the manager whose loop serves it: registration and dispatch in
// the loop's two passes, and a wake-up when the socket has been failed or has bytes to send.
class SocketCallback {
public:
    virtual ~SocketCallback() = default;
    virtual void socket_callback(IPCSocket* socket) = 0;
    // Any thread may call this; the loop then runs one more iteration.
    virtual void wake() = 0;
};
