#pragma once

#include <QMetaType>
#include <QString>

// Why a codec's connection failed, or why a frame it sent was dropped: a session keeps the last
// such reason (IPCObject::lastFault) until the codec is READY again, so that "Not connected" says
// whether to call the studio or to fix a password (a frame dropped while READY is told by
// IPCObject::linkDrops instead). A plain value; `detail` comes from our own transport or reader,
// never from the codec's words as they are (text/connection_fault_text bounds it all the same).
struct ConnectionFault {
    enum Kind {
        kNone,
        kLoginRefused,     // the codec refused the password
        kTimedOut,         // nothing came for longer than the idle time-out
        kCouldNotConnect,  // the connection never came up; `detail`: the system's text
        kClosedByCodec,    // the codec ended the connection
        kConnectionError,  // the connection failed otherwise; `detail`: the system's or our text
        kFrameUnreadable,  // a frame was dropped; `detail`: why the reader refused it
        kFrameTooLarge,    // a frame was dropped; `size`: its bytes as far as they were counted
        kNoAnswer,         // a request got no answer in time; `detail`: its name, none for a probe
        kTooSlow,          // a frame came too slowly to count as life; `detail`: how slowly, `size`: its bytes
    };

    Kind kind = kNone;
    QString detail;
    qint64 size = 0;
    // kNoAnswer: frames of the codec's were dropped while the answer was awaited, and may have held it.
    bool were_frames_dropped = false;

    bool operator==(const ConnectionFault& other) const {
        return kind == other.kind && detail == other.detail && size == other.size &&
               were_frames_dropped == other.were_frames_dropped;
    }
    bool operator!=(const ConnectionFault& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(ConnectionFault)

// The one wording of a dropped frame (kFrameUnreadable, kFrameTooLarge), for the codec's log line
// and its "Last failure" alike: "a message from the codec could not be read and was dropped: <why>"
// or "a message from the codec was too large (<size> bytes) and was dropped". `why` is the
// fault's detail as the caller bounds it.
QString droppedFrameText(const ConnectionFault& fault, const QString& why);
