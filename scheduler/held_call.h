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

    // Never stored: after a restart a held call counts as seen, and one that is not up is forgotten.
    bool is_seen_up = false;  // a pass saw it up; until then only its connect went out
    QDateTime dialled_at;     // when its last connect went out; invalid for a call taken as found
    bool is_connect_refused = false;  // the codec refused that connect: nothing is on its way
    Disconnect disconnect = Disconnect::kNone;
    QString refusal;  // why the codec refused its disconnect; empty when it did not

    bool hasPeerIdentity() const { return !peer_name.isEmpty() || !peer_address.isEmpty(); }
    // The call is of this peer ({id, name, address}, as Job::peerIdentity): the same one, or one of
    // the two is known by its id alone.
    bool isOf(const QStringList& identity) const;

    // The attributes of its "call" element, as Job::visitAttributes hands a job's: the codec's "ip"
    // and "port", "peer", "peer_addr" and "peer_name" (when known) and "since".
    void visitAttributes(const QString& host, int port, const QString& peer, const Job::AttributeVisitor& visit) const;
    // False when the element has no valid "since" or no peer id; `peer` in Job::normalPeerId's form.
    // "since" is read as Job::fromMessage reads its times.
    bool fromMessage(const Message& element, QString& peer, const QTimeZone& written_in = QTimeZone());
};
