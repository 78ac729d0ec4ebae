#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "scheduler/job.h"

class Message;

// A call the schedule made or took, and so ends when no booking wants it any more; a call it does
// not hold is never cut. Kept in schedule.xml beside the jobs, so that after a restart the schedule
// knows exactly which calls are its own. A plain value record.
struct HeldCall {
    // The peer as it was when the call was made or taken, as Job::peer_name and Job::peer_address;
    // both empty for a call of a booking that knows its peer by id alone.
    QString peer_name;
    QString peer_address;
    QDateTime since;
    enum class Disconnect {
        kNone,
        kSent,       // no booking wanted it, and its disconnect went out
        kOverruled,  // a booking wants it again since: for one pass the codec may still act on it
    };

    // A dial is the schedule's own until it settles: seen up (then it is held as any call), refused
    // by the codec, or not seen in this many passes after its last connect while its codec was
    // ready: two minutes of ten-second passes, longer than any far end takes to answer. Counted in
    // passes of a ready codec, not in time, so that a codec away, or a program closed, while the
    // far end answers does not settle it. A dial's call that comes up after its windows closed is
    // ended.
    static constexpr int kDialSettlePasses = 12;

    bool is_seen_up = false;  // seen up in the codec's list; until then only its connect went out
    // When its last connect went out; invalid for a call taken as found. Kept in the file while the
    // call is not seen up, so that a dial stays the schedule's across a restart.
    QDateTime dialled_at;
    // Never stored: after a restart a dial may be on its way again.
    int unseen_passes = 0;            // passes of its ready codec since its last connect that did not show it up
    bool is_connect_refused = false;  // a refusal that answered its connect alone: nothing is on its way
    // Its windows closed before it came up, and a disconnect went out to stop its connect. That
    // settles nothing: a codec may complete the connect all the same.
    bool is_dial_stopped = false;
    // It came up after its windows had closed: ended, and said so.
    bool is_late = false;
    Disconnect disconnect = Disconnect::kNone;
    QString refusal;  // why the codec refused its disconnect; empty when it did not

    // Not seen up yet, and nothing yet tells that it never will be: refused, or silent too long.
    bool isDialUnsettled() const {
        return !is_seen_up && !is_connect_refused && dialled_at.isValid() && unseen_passes < kDialSettlePasses;
    }

    bool hasPeerIdentity() const { return !peer_name.isEmpty() || !peer_address.isEmpty(); }
    // The call is of this peer ({id, name, address}, as Job::peerIdentity): the same one, or one of
    // the two is known by its id alone.
    bool isOf(const QStringList& identity) const;

    // The attributes of its "call" element, as Job::visitAttributes hands a job's: the codec's "ip"
    // and "port", "dialled" (while not seen up), "peer", "peer_addr" and "peer_name" (when known)
    // and "since".
    void visitAttributes(const QString& host, int port, const QString& peer, const Job::AttributeVisitor& visit) const;
    // False when the element has no valid "since" or no peer id; `peer` in Job::normalPeerId's form.
    // "since" and "dialled" are read as Job::fromMessage reads its times; a call without "dialled"
    // (one seen up, or from a file written before dials were kept) counts as seen up.
    bool fromMessage(const Message& element, QString& peer, const QTimeZone& written_in = QTimeZone());
};
