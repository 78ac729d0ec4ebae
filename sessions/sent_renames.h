#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// The renames and removals of one codec's peers, or of its profiles, that this program sent at the
// operator's word and the codec's lists have not shown yet. Each is known by what the lists show of
// the peer or profile before and after it: {id, name} and, for a peer, its address (host part; empty
// for a directory peer), as PeerMeta::identity and ProfileInfo::identity give them; a removal has
// no after. A view that holds a choice by what it names follows the rename sent for that very peer
// or profile, and lets a choice the operator removed go without a word; nothing else: a rename or a
// removal by another client, or another peer given the id, still leaves the choice unmade.
//
// GUI thread only.
class SentRenames {
public:
    // `was` and `now` share their id, the first entry; `now` equal to `was` renames nothing. A later
    // rename of the id replaces an earlier.
    void note(const QStringList& was, const QStringList& now);
    // `was` is to go from the codec's list. Replaces a rename of its id noted before.
    void noteRemoval(const QStringList& was);
    // Whether a list naming `now` under the id of `was` shows the rename this program sent for `was`.
    bool isSent(const QStringList& was, const QStringList& now) const;
    // Whether this program sent the removal of `was`.
    bool isRemoved(const QStringList& was) const;
    bool isEmpty() const { return renames_.isEmpty(); }
    // Forgets each rename or removal whose id the codec's newest list (`listed`, the identities it
    // holds) names other than as it was, or not at all: it has landed, or something else came first.
    // Run once every view has followed that list.
    void settle(const QList<QStringList>& listed);

private:
    // By id: as it was, as renamed (empty for a removal).
    QHash<QString, std::pair<QStringList, QStringList>> renames_;
};
