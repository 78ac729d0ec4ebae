#include "scheduler/held_call.h"

#include "ipc/message.h"
#include "scheduler/job.h"
#include "scheduler/local_date_time.h"

bool HeldCall::isOf(const QStringList& identity) const {
    const bool is_known_by_id = identity.value(1).isEmpty() && identity.value(2).isEmpty();
    return !hasPeerIdentity() || is_known_by_id ||
           (identity.value(1) == peer_name && identity.value(2) == peer_address);
}

void HeldCall::toMessage(Message& element, const QString& peer) const {
    Message::Attributes& a = element.attributes();
    a.set("peer", peer);
    if (!peer_name.isEmpty()) a.set("peer_name", peer_name);
    if (!peer_address.isEmpty()) a.set("peer_addr", peer_address);
    a.set("since", Job::dateText(since.date(), since.time()));
}

bool HeldCall::fromMessage(const Message& element, QString& peer) {
    const Message::Attributes& a = element.attributes();
    peer = Job::normalPeerId(a.get_qstring("peer", QString()));
    peer_name = a.get_qstring("peer_name", QString());
    peer_address = a.get_qstring("peer_addr", QString());
    QDate date;
    QTime time;
    if (!Job::parseDateText(a.get_qstring("since", QString()), date, time)) return false;
    since = localDateTime(date, time);
    is_seen_up = true;
    return since.isValid() && Job::isPeerId(peer);
}
