#pragma once

#include <string>

#include "ipc/ipc_protocol.h"

class Message;

// The xmls framing shared by both sides: every message travels as its XML text, without
// declaration or formatting, followed by one NUL byte.
//
// Receiving is incremental: complete frames are cut and delivered as their NUL arrives, the
// incomplete tail waits for more bytes, and only that tail counts against the connection's buffer
// limit. Blanks (SP, TAB, CR, LF) before a frame's first "<" are skipped, for peers that write a
// line break after each NUL.
class IPCProtocolXMLS : public IPCProtocol {
public:
    using IPCProtocol::IPCProtocol;

    void reset() override { rx_buffer.clear(); }
    void receive_data(const std::string& bytes) override;

    // One complete received message; the framing class itself does nothing with it.
    virtual void receive_message(Message& /*message*/) {}
    // Writes one message as a frame into the connection's send buffer.
    virtual void transmit_xml(const Message& message);

    // The frame text of a message: its XML without declaration, then one NUL.
    static std::string frame(const Message& message);

protected:
    std::string rx_buffer;  // the start of an incomplete frame
};
