#include "scheduler/plan.h"

const PeerCalls* Plan::find(const PeerKey& key) const {
    const auto found = index.constFind(key);
    return found == index.constEnd() ? nullptr : &calls[static_cast<size_t>(*found)];
}

PeerCalls* Plan::find(const PeerKey& key) {
    return const_cast<PeerCalls*>(static_cast<const Plan*>(this)->find(key));
}

PeerCalls& Plan::add(const PeerKey& key) {
    const auto found = index.constFind(key);
    if (found != index.constEnd()) return calls[static_cast<size_t>(*found)];
    index.insert(key, static_cast<int>(calls.size()));
    calls.emplace_back();
    calls.back().key = key;
    return calls.back();
}

void weigh(PeerCalls& calls, const QDateTime& now) {
    calls.is_wanted = false;
    calls.is_maybe_wanted = false;
    calls.needs_call = false;
    calls.wanted_until = QDateTime();
    for (const Job* booking : calls.bookings) {
        const bool is_wanted = wantsCall(*booking, calls, now);
        const bool is_maybe_wanted = !is_wanted && booking->isOpen(now) && isRenamedAtItsHost(*booking, calls);
        if (!is_wanted && !is_maybe_wanted) continue;
        calls.is_wanted = calls.is_wanted || is_wanted;
        calls.is_maybe_wanted = calls.is_maybe_wanted || is_maybe_wanted;
        calls.needs_call = calls.needs_call || (is_wanted && !booking->connected_at.isValid());
        if (!calls.wanted_until.isValid() || booking->end > calls.wanted_until) calls.wanted_until = booking->end;
    }
}

bool isRenamedAtItsHost(const Job& booking, const PeerCalls& calls) {
    return booking.hasPeerIdentity() && !calls.has_left && !calls.listed.isEmpty() &&
           calls.listed.value(2) == booking.peer_address && calls.listed.value(1) != booking.peer_name;
}

bool wantsCall(const Job& booking, const PeerCalls& calls, const QDateTime& now) {
    return booking.isOpen(now) && isListedAsMade(booking, calls);
}

bool isListedAsMade(const Job& booking, const PeerCalls& calls) {
    return !booking.hasPeerIdentity() || calls.listed == booking.peerIdentity();
}

bool needsRoom(const Job& booking, const PeerCalls& calls, const QDateTime& now) {
    return booking.priority && !booking.forced_at.isValid() && wantsCall(booking, calls, now);
}

bool opensWithin(const Job& booking, const PeerCalls& calls, const QDateTime& now, qint64 within_ms) {
    return !booking.startReached(now) && now.msecsTo(booking.start) <= within_ms && isListedAsMade(booking, calls);
}
