#include "scheduler/held_call.h"

#include <algorithm>

#include "ipc/message/message.h"
#include "scheduler/local_date_time.h"

void HeldCall::noteConnectSent(const QDateTime& now, bool is_operators) {
    // Given back should this connect be refused: an earlier one that drew no refusal may still be
    // ringing, also across an absence of its codec.
    // Sent again only because the bound passed: the same dial, which rings since its first connect.
    const bool is_same_dial =
        dialled_at.isValid() && !is_connect_refused && !is_connect_lost && !is_dial_stopped && !isConnectInFlight();
    if (!is_same_dial || !ringing_since.isValid()) ringing_since = now;
    flight_passes_before_connect = flight_passes;
    flight_passes = 0;
    dialled_at = now;
    is_connect_refused = false;
    is_connect_lost = false;
    is_dial_stopped = false;
    is_stop_unsure = false;
    stopped_passes = 0;
    is_operators_connect = is_operators;
}

void HeldCall::noteConnectRefused() {
    is_connect_refused = true;
    flight_passes = flight_passes_before_connect;
}

void HeldCall::countUnseenPass() {
    if (flight_passes >= 0) ++flight_passes;
    if (is_dial_stopped) ++stopped_passes;
}

void HeldCall::noteDisconnectSent(const QDateTime& now) {
    disconnect = Disconnect::kSent;
    disconnect_sent_at = now;
}

void HeldCall::noteDisconnectRefused(const QString& reason) {
    refusal = reason;
    ++refusal_count;
    disconnect_retry_secs = disconnect_retry_secs == 0 ? kFirstDisconnectRetrySecs
                                                       : std::min(2 * disconnect_retry_secs, kMaxDisconnectRetrySecs);
}

void HeldCall::noteHeld() {
    is_seen_up = true;
    is_dial_stopped = false;
    is_awaiting_window = false;
    is_late = false;
    disconnect = Disconnect::kNone;
    refusal.clear();
    refusal_count = 0;
    is_refusal_said = false;
    disconnect_retry_secs = 0;
    ended_line.clear();
}

bool HeldCall::isOf(const QStringList& identity) const {
    const bool is_known_by_id = identity.value(1).isEmpty() && identity.value(2).isEmpty();
    return !hasPeerIdentity() || is_known_by_id ||
           (identity.value(1) == peer_name && identity.value(2) == peer_address);
}

void HeldCall::visitAttributes(const QString& host, int port, const QString& peer,
                               const Job::AttributeVisitor& visit) const {
    std::string text;
    const auto utf8 = [&](const char* name, const QString& value) { Job::visitText(visit, name, value, text); };
    const bool is_dial = !is_seen_up && dialled_at.isValid();
    if (is_dial) {
        Job::appendDateText(text, dialled_at.date(), dialled_at.time());
        visit("dialled", text, true);
    }
    if (is_dial && !dialled_name.isEmpty()) utf8("dialled_name", dialled_name);
    utf8("ip", host);
    if (is_late) visit("late", "true", true);
    utf8("peer", peer);
    if (!peer_address.isEmpty()) utf8("peer_addr", peer_address);
    if (!peer_name.isEmpty()) utf8("peer_name", peer_name);
    visit("port", std::to_string(port), true);
    if (is_late && !refusal.isEmpty()) {
        utf8("refusal", refusal);
        visit("refusals", std::to_string(refusal_count), true);
    }
    const auto time = [&](const char* name, const QDateTime& when) {
        text.clear();
        Job::appendDateText(text, when.date(), when.time());
        visit(name, text, true);
    };
    if (is_dial && ringing_since.isValid()) time("ringing_since", ringing_since);
    const bool has_late_row = is_late && !refusal.isEmpty() && late_row_start.isValid() && late_row_end.isValid();
    if (has_late_row) {
        time("row_end", late_row_end);
        time("row_start", late_row_start);
    }
    time("since", since);
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
    if (!is_seen_up) {
        dialled_name = a.get_qstring("dialled_name", QString());
        flight_passes = 0;
        ringing_since = Job::parseDateText(a.get_qstring("ringing_since", QString()), date, time)
                            ? localDateTime(date, time, written_in)
                            : dialled_at;
    }
    // A late call whose end the codec refused: said before the program closed, and retried as
    // often as it was before.
    is_late = is_seen_up && a.get_bool("late", false);
    if (is_late) refusal = a.get_qstring("refusal", QString());
    if (!refusal.isEmpty() && Job::parseDateText(a.get_qstring("row_start", QString()), date, time)) {
        late_row_start = localDateTime(date, time, written_in);
        if (Job::parseDateText(a.get_qstring("row_end", QString()), date, time))
            late_row_end = localDateTime(date, time, written_in);
    }
    if (!refusal.isEmpty()) {
        is_refusal_said = true;
        const int refusals = std::clamp(a.get_int("refusals", 1), 1, kMaxLateDisconnectRefusals);
        for (int i = 0; i < refusals; ++i) noteDisconnectRefused(refusal);
    }
    return since.isValid() && Job::isPeerId(peer);
}
