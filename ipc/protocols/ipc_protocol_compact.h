#pragma once

#include <cstdint>
#include <string>

#include "ipc/net/ipc_protocol.h"

class Message;

// The compact framing shared by both sides: 0xFF, the body's length as a big-endian u32, then the
// message's compact encoding. Frames are cut where they lie as they complete; a frame whose length
// could never fit the connection's receive limit fails the connection at once instead of being
// waited for.
class IPCProtocolCompact : public IPCProtocol {
public:
    using IPCProtocol::IPCProtocol;

    void reset() override;
    size_t receive_data(const char* data, size_t length) override;
    // Always takes the message; one the compact encoding cannot carry is refused to the endpoint.
    int transmit_message(const Message& message) override;

    // One complete received message; the framing class itself does nothing with it.
    virtual void receive_message(Message& /*message*/) {}
    // Writes one message as a frame; throws when the compact encoding cannot carry it.
    void transmit_frame(const Message& message);

    static std::string frame(const Message& message);

private:
    uint64_t reset_count_ = 0;  // tells the cutting loop that a handler reset the connection
};
