#include "scheduler/peer_sightings.h"

QStringList PeerSightings::see(const PeerKey& key, const QStringList& listed) {
    auto codec = last_seen_.find(key.codec);
    if (codec == last_seen_.end()) codec = last_seen_.insert(key.codec, {});
    const auto seen = codec->constFind(key.peer);
    const QStringList before = seen == codec->constEnd() ? QStringList() : *seen;
    // A list of the ready codec without the id shows its peer gone, also the first list after an absence.
    if (listed.isEmpty()) left_.insert(key);
    codec->insert(key.peer, listed);
    return before;
}

void PeerSightings::seed(const PeerKey& key, const QStringList& listed) {
    auto codec = last_seen_.find(key.codec);
    if (codec == last_seen_.end()) codec = last_seen_.insert(key.codec, {});
    if (!codec->contains(key.peer)) codec->insert(key.peer, listed);
}

QStringList PeerSightings::lastSeen(const PeerKey& key) const {
    return last_seen_.value(key.codec).value(key.peer);
}

void PeerSightings::forgetCodec(const QUuid& codec) {
    last_seen_.remove(codec);
}
