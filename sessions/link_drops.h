#pragma once

#include <QDateTime>

#include "sessions/connection_fault.h"

// The frames of a codec dropped since its link came up, or since the operator last saw them: how
// many, when the last was, and why. A codec can drop a frame in ten and still be READY; a session
// keeps this until a new connection or until the operator has seen it (IPCObject::linkDrops), and
// then counts again. A plain value.
struct LinkDrops {
    quint64 count = 0;
    QDateTime last_at;          // wall-clock, UTC
    ConnectionFault last;       // kFrameUnreadable or kFrameTooLarge; none while count is 0
    QDateTime counted_since{};  // wall-clock, UTC: when the operator saw the earlier ones; null: none

    bool operator==(const LinkDrops& other) const {
        return count == other.count && last_at == other.last_at && last == other.last &&
               counted_since == other.counted_since;
    }
    bool operator!=(const LinkDrops& other) const { return !(*this == other); }
};
