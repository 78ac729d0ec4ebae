#pragma once

#include <QDateTime>
#include <QList>
#include <QStringList>

#include <deque>
#include <mutex>

#include "ipc/message/message.h"

// A session's copy of its codec's event log: the "e" entries of the "eventLog" replies, oldest
// first, at most EventLogMerger::kMaxStoredEntries, each with its display line and its moment
// (EventLogMerger::entryTime), read once as it comes. A member of the session (`eventLog`).
//
// Threads: every operation takes the list's own mutex (not the session mutex) for its whole run,
// so any thread may call them; today all callers are on the GUI thread. No other lock is taken
// while it is held.
// Views get copies (display lines, moments); nothing hands out pointers or references into the
// entries, which a later merge or clear destroys.
class LockedMessageList {
public:
    LockedMessageList();
    ~LockedMessageList();
    LockedMessageList(const LockedMessageList&) = delete;
    LockedMessageList& operator=(const LockedMessageList&) = delete;

    // Merges an "eventLog" reply (EventLogMerger::parseEventLog) and returns the display lines of
    // the entries it added, oldest first; empty when it added none or the reply holds no "e".
    QStringList merge(const Message& reply);
    // The display lines of every stored entry, oldest first; with their moments in `times` when
    // given (invalid where an entry's time cannot be read).
    QStringList lines(QList<QDateTime>* times = nullptr) const;
    // The moments of the newest `count` entries (fewer when fewer are stored), oldest first.
    QList<QDateTime> newestTimes(int count) const;
    // The latest moment of any stored entry; invalid when none has one.
    QDateTime latestTime() const;
    // Destroys every stored entry; the next reply starts a new list.
    void clear();
    int size() const;

private:
    // A standard mutex rather than a QMutex: ThreadSanitizer sees it (Debian builds Qt without it).
    mutable std::mutex mutex_;
    // Guarded by mutex_, oldest first and of one length: the entries, their lines and moments.
    std::deque<Message> entries_;
    std::deque<QString> lines_;
    std::deque<QDateTime> times_;
    QDateTime latest_;  // guarded by mutex_; of the entries stored since the last clear
};
