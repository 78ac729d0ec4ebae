#pragma once

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QUuid>

#include "scheduler/peer_key.h"

// What the schedule saw of its peers in the codecs' peer lists. Under each id it keeps the peer
// the last list named ({id, name, address}; empty when it named none), for as long as the codec
// stayed READY: a change between two such lists was seen as it happened, while one across an
// absence, or after a start, was not. And the ids it saw leave a list in this run: whatever comes
// under such an id later is another peer.
//
// Threads: GUI thread only.
class PeerSightings {
public:
    // A list of the ready codec named `listed` under the key's id (empty: it did not list the id).
    // Returns what the list before it named, when the codec stayed ready since; empty otherwise.
    QStringList see(const PeerKey& key, const QStringList& listed);
    // What the codec lists now, unless a list was seen since it was last ready: a booking is made,
    // or loaded, from the list as it stands.
    void seed(const PeerKey& key, const QStringList& listed);
    // What the last list seen named under the key's id, while the codec stayed ready; empty when
    // nothing is known.
    QStringList lastSeen(const PeerKey& key) const;
    // The codec left READY: its next list may show changes made unseen.
    void forgetCodec(const QUuid& codec);
    bool hasLeft(const PeerKey& key) const { return left_.contains(key); }

private:
    QHash<QUuid, QHash<QString, QStringList>> last_seen_;  // by codec, then peer id
    QSet<PeerKey> left_;
};
