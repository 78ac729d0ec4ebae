#pragma once

#include <QHash>
#include <QTimeZone>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ipc/message/message.h"
#include "scheduler/codec_sessions.h"
#include "scheduler/held_call.h"
#include "scheduler/job.h"
#include "scheduler/peer_key.h"

// The calls the schedule holds (HeldCall), by codec and peer id, and the "call" elements of the
// last load that named no codec in the fleet or were refused, kept to be written back as they were
// read. Such an element may still be the schedule's call once its codec is back; it gives way to
// the schedule's own news of the same address, port and peer id, and goes once its codec is in the
// fleet again and shows the peer out of any call. Codecs are named by address in the file, so the
// codecs' sessions are looked up for each.
//
// Threads: GUI thread only.
class HeldCalls {
public:
    using Map = QHash<PeerKey, HeldCall>;

    // The codecs' sessions: the scheduler's, replaced together with its own.
    void setSessions(std::shared_ptr<CodecSessions> sessions) { sessions_ = std::move(sessions); }

    // Looked up as in a QHash; a call found may be changed in place.
    bool contains(const PeerKey& key) const { return calls_.contains(key); }
    int size() const { return calls_.size(); }
    Map::iterator find(const PeerKey& key) { return calls_.find(key); }
    Map::iterator begin() { return calls_.begin(); }
    Map::iterator end() { return calls_.end(); }
    Map::const_iterator constFind(const PeerKey& key) const { return calls_.constFind(key); }
    Map::const_iterator constEnd() const { return calls_.constEnd(); }
    Map::const_iterator cbegin() const { return calls_.cbegin(); }
    Map::const_iterator cend() const { return calls_.cend(); }
    // What rang on the codec may be gone (HeldCall::is_connect_lost): it left READY, or was told
    // to drop every call.
    void noteConnectsLost(const QUuid& codec);

    // Every change of the calls held goes through these: a "call" element kept from the file for the
    // same address, port and peer id is older than the schedule's own news, and is dropped.
    Map::iterator hold(const PeerKey& key, const HeldCall& call);
    // False when the schedule held no call of the key.
    bool forget(const PeerKey& key);
    // Drops the kept "call" elements whose codec is in the fleet again and shows their peer out of
    // any call; true when any went.
    bool dropOutdatedElements();

    // The "call" elements of a file: each names a registered codec or is kept as it was read, at
    // most `max_calls` together. Their times are read in `written_in` when it is valid.
    void load(const Message& calls, const QTimeZone& written_in, int max_calls);
    // A file without "calls": each job that noted its call holds it.
    void holdNoted(const std::vector<std::shared_ptr<Job>>& jobs);
    // The file's "calls" element, under its root: a "call" element per call whose codec is in the
    // fleet, by codec and peer id so that the same calls give the same text, then the kept elements.
    void appendText(std::string& out) const;

private:
    void dropKeptElements(const PeerKey& key);
    bool dropElementsWhere(const std::function<bool(const Message&)>& is_dropped);

    Map calls_;
    std::vector<Message> kept_elements_;  // "call" elements of the last load that named no codec
    std::shared_ptr<CodecSessions> sessions_;
};
