#pragma once

#include <cstddef>

#include "ipc/message/message.h"
#include "ipc/net/ipc_dropped_frame.h"
#include "ipc/net/ipc_endpoint_client.h"

// A client endpoint that touches every message and every report of a dropped frame it is handed
// (so that a bad one is read by the sanitizers) and keeps nothing.
class CountingEndpoint : public IPCEndpointClient {
public:
    void handle_response(const Message& reply) override { received += reply.size() + 1; }
    void handle_unsolicited(const Message& message) override { received += message.size() + 1; }
    void on_frame_dropped(const IPCDroppedFrame& frame) override {
        received += frame.reason().size() + frame.head.size();
    }
    size_t received = 0;
};
