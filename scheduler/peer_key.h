#pragma once

#include <QHash>
#include <QString>
#include <QUuid>

// One peer id on one codec: what the schedule's plan is made of. Every booking of a codec and
// peer id, and the call the schedule may hold for them, share a key.
struct PeerKey {
    QUuid codec;   // the session's instance key
    QString peer;  // the peer's id, in Job::normalPeerId's form

    bool operator==(const PeerKey& other) const { return codec == other.codec && peer == other.peer; }
    bool operator!=(const PeerKey& other) const { return !(*this == other); }
};

inline uint qHash(const PeerKey& key, uint seed = 0) {
    return qHash(key.codec, seed) ^ qHash(key.peer, seed * 31 + 7);
}
