#pragma once

#include "ipc/protocols/ipc_protocol_compact.h"

// The client side of compact. There is no login: the endpoint is told it is ready as soon as the
// connection is up, and every received message goes to it.
class IPCProtocolCompactClient : public IPCProtocolCompact {
public:
    using IPCProtocolCompact::IPCProtocolCompact;

    void on_state() override;
    void receive_message(Message& message) override;
};
