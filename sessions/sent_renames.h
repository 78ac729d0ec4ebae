#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// The renames of one codec's peers, or of its profiles, that this program sent at the operator's
// word and the codec's lists have not shown yet. Each is known by what the lists show of the peer or
// profile before and after it: {id, name} and, for a peer, its address (host part; empty for a
// directory peer), as PeerMeta::identity and ProfileInfo::identity give them. A view that holds a
// choice by what it names follows the rename sent for that very peer or profile, and nothing else:
// a rename by another client, or another peer given the id, still leaves the choice unmade.
//
// GUI thread only.
class SentRenames {
public:
    // `was` and `now` share their id, the first entry; `now` equal to `was` renames nothing. A later
    // rename of the id replaces an earlier.
    void note(const QStringList& was, const QStringList& now);
    // Whether a list naming `now` under the id of `was` shows the rename this program sent for `was`.
    bool isSent(const QStringList& was, const QStringList& now) const;
    bool isEmpty() const { return renames_.isEmpty(); }
    // Forgets each rename whose id the codec's newest list (`listed`, the identities it holds) names
    // other than as it was, or not at all: the rename has landed, or something else came first. Run
    // once every view has followed that list.
    void settle(const QList<QStringList>& listed);

private:
    QHash<QString, std::pair<QStringList, QStringList>> renames_;  // by id: as it was, as renamed
};
