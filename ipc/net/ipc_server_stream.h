#pragma once

#include "ipc/net/ipc_server.h"

// A TCP listener. When the process runs out of descriptors it stops asking for new connections for
// about a second (logged once), so the loop never spins on a connection it cannot accept.
class IPCServerStream : public IPCServer {
public:
    static constexpr int64_t kDescriptorPauseUs = 1000000;

    using IPCServer::IPCServer;

    bool wants_read() const override;
    uint32_t max_wait_ms() const override;
    bool open(const IPCAddress& address) override;
    void on_readable() override { accept_connections(); }

private:
    void accept_connections();

    int64_t paused_until_us_ = 0;
    bool has_logged_pause_ = false;
};
