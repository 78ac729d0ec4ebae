#pragma once

#include <QDateTime>
#include <QHash>
#include <QStringList>

#include <vector>

#include "scheduler/job.h"
#include "scheduler/peer_key.h"

// Every pending booking of one codec and peer id, as one pass sees them.
struct PeerCalls {
    PeerKey key;
    std::vector<Job*> bookings;  // the scheduler's jobs, in its order; not owned
    QStringList listed;          // {id, name, address} as the codec's last list names the id; empty: not
    bool is_wanted = false;      // some booking's window is open with its peer as made
    // Some booking's window is open and its peer is listed at its own host under another name,
    // where no list showed the rename: maybe the same far end, so its call is neither made nor cut.
    bool is_maybe_wanted = false;
    // A list was seen without the id in this run: whatever came under it since is another peer.
    bool has_left = false;
    bool needs_call = false;  // one such booking has not yet had its call in its occurrence
    QDateTime wanted_until;   // the latest end among those bookings, maybe wanting ones included
    bool is_forcing = false;  // a forced booking of it made room in this pass: acted on first
};

// The plan of one pass: every codec and peer id with pending bookings or a held call, in order
// of their first booking.
struct Plan {
    std::vector<PeerCalls> calls;
    QHash<PeerKey, int> index;  // into calls
    const PeerCalls* find(const PeerKey& key) const;
    PeerCalls* find(const PeerKey& key);
    PeerCalls& add(const PeerKey& key);
};

// Whether the bookings want the call, and until when, as they stand now.
void weigh(PeerCalls& calls, const QDateTime& now);
// The booking's window is open and its peer id names the peer it was made for.
bool wantsCall(const Job& booking, const PeerCalls& calls, const QDateTime& now);
bool isListedAsMade(const Job& booking, const PeerCalls& calls);
bool isRenamedAtItsHost(const Job& booking, const PeerCalls& calls);
// Its window opens after now, within `within_ms`, and its peer id names the peer it was made for.
bool opensWithin(const Job& booking, const PeerCalls& calls, const QDateTime& now, qint64 within_ms);
// Forced, its window open, and its room not made yet in this occurrence.
bool needsRoom(const Job& booking, const PeerCalls& calls, const QDateTime& now);
