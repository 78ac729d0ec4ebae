#pragma once

#include <cstdint>
#include <string>

#include "ipc/net/ipc_protocol.h"

class Message;

// The xmls framing shared by both sides: every message travels as its XML text, without
// declaration or formatting, followed by one NUL byte.
//
// Receiving is incremental: complete frames are cut where they lie and delivered as their NUL
// arrives, the incomplete tail waits in the connection for more bytes, and only that tail counts
// against the connection's receive limit. Blanks (SP, TAB, CR, LF) before a frame's first "<" are
// skipped, for peers that write a line break after each NUL. Cutting stops while the connection's
// reading is held, leaving the frames after the one that set the hold, and when handling a frame
// reset the connection.
//
// A bad frame costs that frame alone: the NUL keeps the stream in step, so the frames after it are
// read as ever. A frame whose message does not decode is dropped; so is one whose tail grows past
// the receive limit, whose bytes are then counted rather than kept until its NUL comes. Either is
// reported to the connection (IPCConn::report_dropped_frame). An exception thrown while a decoded
// message is handled is no fault of the frame: it fails the connection.
class IPCProtocolXMLS : public IPCProtocol {
public:
    using IPCProtocol::IPCProtocol;

    void reset() override;
    size_t receive_data(const char* data, size_t length) override;
    bool has_pending_input() const override;

    // One complete received message; the framing class itself does nothing with it.
    virtual void receive_message(Message& /*message*/) {}
    // Writes one message as a frame into the connection's send buffer.
    virtual void transmit_xml(const Message& message);

    // The frame text of a message: its XML without declaration, then one NUL.
    static std::string frame(const Message& message);

private:
    // Decodes the frame text and hands the message on, or reports the frame dropped.
    void deliver_frame(const char* text, size_t length);
    // Takes the bytes of a frame being discarded up to its NUL; returns how many it took (the NUL
    // included), or `length` when the NUL has not come yet.
    size_t discard(const char* data, size_t length);

    size_t searched_length_ = 0;  // how much of the kept input is known to hold no NUL
    uint64_t reset_count_ = 0;    // tells the cutting loop that a handler reset the connection
    bool is_discarding_ = false;  // within a frame that grew past the receive limit
    uint64_t discarded_bytes_ = 0;
    std::string discarded_head_;  // that frame's first bytes, escaped for the log
};
