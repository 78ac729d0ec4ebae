#pragma once

#include "ipc/protocols/ipc_protocol_compact.h"

// The server side of compact. It has no login, so it serves only peers on the IPv4 loopback
// network: any other peer gets 403 "Forbidden" for every request. "login" and "ping" are answered
// here, anything else by the connection's server endpoint.
class IPCProtocolCompactServer : public IPCProtocolCompact {
public:
    using IPCProtocolCompact::IPCProtocolCompact;

    void receive_message(Message& request) override;

    // Marks a reply successful ("success" = true).
    static void set_success(Message& reply);
    // A handler that leaves the reply as it is.
    static void noop(const Message& request, Message& reply);
};
