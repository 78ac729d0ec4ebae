#pragma once

#include <cstdint>
#include <string>

// A frame that a protocol could not read and dropped by itself: the connection stays up and the
// next frame is read. Frames are cut where their delimiter lies, so a frame that does not decode,
// or grows past the connection's receive limit, costs that frame alone.
struct IPCDroppedFrame {
    enum Kind {
        kUnreadable,  // the frame is whole but its message does not decode
        kTooLarge,    // it grew past the receive limit and was discarded up to its end
    };
    // How much of a frame's beginning is kept for the log.
    static constexpr size_t kHeadBytes = 64;

    Kind kind;
    std::string error;  // why it does not decode (the decoder's text); empty when too large
    uint64_t size;      // its bytes, the delimiter not counted
    std::string head;   // its first kHeadBytes bytes, escaped for a log line (ipc_escaped_bytes)

    // "frame unreadable: <error>" or "frame too large: <size> bytes".
    std::string reason() const {
        if (kind == kTooLarge) return "frame too large: " + std::to_string(size) + " bytes";
        return "frame unreadable: " + error;
    }
};
