#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

#include "sessions/peer_meta.h"

class Message;

// One peer list of a codec, read against the list before it: its peers sorted into the lists the
// session's views read, and what changed on air since. A plain value; the session's peer-list
// parser builds it under the session mutex and takes its lists over.
struct PeerListUpdate {
    // Reads the "peer" children of `list`. `previous_active_ids` and `previous_by_id` are the
    // session's activePeerIds and peerById as the list before left them.
    static PeerListUpdate read(const Message& list, const QList<int>& previous_active_ids,
                               const QMap<int, PeerMetaPtr>& previous_by_id);

    QList<PeerMetaPtr> all;               // every peer in message order; a repeated id is skipped
    QList<PeerMetaPtr> active;            // those with `active` set
    QList<PeerMetaPtr> book;              // those without a directory record
    QList<PeerMetaPtr> directory;         // those with a directory record
    QMap<int, PeerMetaPtr> by_id;         // `id` as a decimal number (non-numbers count as 0)
    QList<int> active_ids;                // ids of `active`, in the same order
    QString chan_state;                   // the last non-empty "chan_state"; empty when none has one
    std::optional<QString> receiving_id;  // the last active peer that is receiving, if any
    QStringList started_names;            // peers active now and not before, in list order
    // Peers active before and not now: those still listed, in list order, then those gone from the
    // list (the codec dropped the peer with its connection), named as before; empty when unknown.
    QStringList ended_names;
    QStringList duplicate_ids;  // the ids of the skipped peers, in list order
};
