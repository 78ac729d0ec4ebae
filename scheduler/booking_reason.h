#pragma once

#include <QString>

// Why a booking waits, or what stood in the way of its call: a code, with the peer id and the
// words of the codec's or the peer's it names. The job and its file keep the code; the words are
// made where a reason is shown (words()), so that nothing compares or stores them, and a change of
// words is one line. A plain value.
struct BookingReason {
    enum class Code {
        kNone,
        kNotReady,             // its codec is not ready
        kNotInFleet,           // its codec left the fleet
        kPeerGone,             // `peer` is no longer in the codec's list
        kPeerNowOther,         // `peer` names another peer now: `detail`, as shown
        kConnectRefused,       // the codec refused its connect: `detail`, the codec's words
        kConnectMaybeRefused,  // a refusal that may have answered another connect: `detail`
        kForceRefused,         // the codec refused to end its other calls: `detail`
        kDisconnectRefused,    // the codec refused to end its call: `detail`
        kNextRefused,          // its next occurrence found no room in the schedule
        kWritten,              // as a file written before reasons had codes gave it: `detail`, its words
    };

    Code code = Code::kNone;
    QString peer;    // the peer id it names, where it names one
    QString detail;  // see Code

    bool isNone() const { return code == Code::kNone; }
    bool operator==(const BookingReason& other) const {
        return code == other.code && peer == other.peer && detail == other.detail;
    }
    bool operator!=(const BookingReason& other) const { return !(*this == other); }

    // Its words on the booking's row, which the codec's log and a "missed" line quote.
    QString words() const;
    // The code as schedule.xml writes it ("peer-gone", ...); empty for kNone and kWritten.
    QString fileName() const;
    // The reason a file's "wait" attribute, with its peer and detail, names; kNone for a name it
    // does not know.
    static BookingReason fromFile(const QString& name, const QString& peer, const QString& detail);
};
