#include "sessions/peer_list_update.h"

#include <memory>

#include "ipc/message/message.h"

PeerListUpdate PeerListUpdate::read(const Message& list, const QList<int>& previous_active_ids,
                                    const QMap<int, PeerMetaPtr>& previous_by_id) {
    PeerListUpdate update;
    // The previous list's active ids not yet met in this one, in their old order.
    QList<int> unmet_active_ids = previous_active_ids;
    const unsigned count = list.child_count("peer");
    for (unsigned i = 0; i < count; ++i) {
        auto peer = std::make_shared<PeerMeta>(list.get_child("peer", i));
        const int key = peer->id.toInt();
        // A second peer under one key would be taken for a new connection on every list.
        if (update.by_id.contains(key)) {
            update.duplicate_ids.append(peer->id);
            continue;
        }
        if (!peer->chan_state.isEmpty()) update.chan_state = peer->chan_state;
        update.by_id.insert(key, peer);
        update.all.append(peer);
        (peer->directory ? update.directory : update.book).append(peer);
        const bool was_active = unmet_active_ids.removeOne(key);
        if (!peer->active) {
            if (was_active) update.ended_names.append(peer->name);
            continue;
        }
        if (!was_active) update.started_names.append(peer->name);
        update.active_ids.append(key);
        update.active.append(peer);
        if (peer->channel->receiving) update.receiving_id = peer->id;
    }
    // Active before and gone from the list now: the codec dropped the peer with its connection.
    for (int key : unmet_active_ids) {
        const PeerMetaPtr gone = previous_by_id.value(key);
        update.ended_names.append(gone ? gone->name : QString());
    }
    return update;
}
