#include "scheduler/held_call.h"

#include "ipc/message/message.h"
#include "scheduler/local_date_time.h"

bool HeldCall::isOf(const QStringList& identity) const {
    const bool is_known_by_id = identity.value(1).isEmpty() && identity.value(2).isEmpty();
    return !hasPeerIdentity() || is_known_by_id ||
           (identity.value(1) == peer_name && identity.value(2) == peer_address);
}

void HeldCall::visitAttributes(const QString& host, int port, const QString& peer,
                               const Job::AttributeVisitor& visit) const {
    std::string text;
    const auto utf8 = [&](const char* name, const QString& value) { Job::visitText(visit, name, value, text); };
    if (!is_seen_up && dialled_at.isValid()) {
        Job::appendDateText(text, dialled_at.date(), dialled_at.time());
        visit("dialled", text, true);
    }
    utf8("ip", host);
    utf8("peer", peer);
    if (!peer_address.isEmpty()) utf8("peer_addr", peer_address);
    if (!peer_name.isEmpty()) utf8("peer_name", peer_name);
    visit("port", std::to_string(port), true);
    text.clear();
    Job::appendDateText(text, since.date(), since.time());
    visit("since", text, true);
}

bool HeldCall::fromMessage(const Message& element, QString& peer, const QTimeZone& written_in) {
    const Message::Attributes& a = element.attributes();
    peer = Job::normalPeerId(a.get_qstring("peer", QString()));
    peer_name = a.get_qstring("peer_name", QString());
    peer_address = a.get_qstring("peer_addr", QString());
    QDate date;
    QTime time;
    if (!Job::parseDateText(a.get_qstring("since", QString()), date, time)) return false;
    since = localDateTime(date, time, written_in);
    dialled_at = Job::parseDateText(a.get_qstring("dialled", QString()), date, time)
                     ? localDateTime(date, time, written_in)
                     : QDateTime();
    is_seen_up = !dialled_at.isValid();
    return since.isValid() && Job::isPeerId(peer);
}
