#pragma once

#include <QStringList>

#include <deque>
#include <mutex>

#include "ipc/message/message.h"

// A session's copy of its codec's event log: the "e" entries of the "eventLog" replies, oldest
// first, at most EventLogMerger::kMaxStoredEntries. A member of the session (`eventLog`).
//
// Threads: every operation takes the list's own mutex (not the session mutex) for its whole run,
// so any thread may call them; today all callers are on the GUI thread. No other lock is taken
// while it is held.
// Views get copies (display lines); nothing hands out pointers or references into the entries,
// which a later merge or clear destroys.
class LockedMessageList {
public:
    LockedMessageList();
    ~LockedMessageList();
    LockedMessageList(const LockedMessageList&) = delete;
    LockedMessageList& operator=(const LockedMessageList&) = delete;

    // Merges an "eventLog" reply (EventLogMerger::parseEventLog) and returns the display lines of
    // the entries it added, oldest first; empty when it added none or the reply holds no "e".
    QStringList merge(const Message& reply);
    // The display lines of every stored entry, oldest first; with the number of the oldest in
    // `first_number` when given (see appendedCount).
    QStringList lines(qint64* first_number = nullptr) const;
    // How many entries were ever appended, those cleared or given way included: entry n (from 0)
    // was the n+1st appended, which places other lines among the entries.
    qint64 appendedCount() const;
    // Destroys every stored entry; the next reply starts a new list.
    void clear();
    int size() const;

private:
    // A standard mutex rather than a QMutex: ThreadSanitizer sees it (Debian builds Qt without it).
    mutable std::mutex mutex_;
    std::deque<Message> entries_;  // guarded by mutex_; oldest first; views get copies, never pointers
    qint64 appended_ = 0;          // guarded by mutex_; never goes back
};
