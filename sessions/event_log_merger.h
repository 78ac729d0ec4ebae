#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <deque>
#include <vector>

#include "ipc/message/message.h"

// How a codec's "eventLog" reply is merged into the entries a session has stored, and how one
// entry reads as a time and as a display line. A reply is a window onto the codec's own log,
// oldest first; each child "e" is one entry with its time text in "ts" and the event as its value.
//
// Polls overlap: a reply repeats entries already stored. The merge finds where the newest stored
// entry sits in the reply by content, scanning from the reply's end, and appends only what lies
// behind it. Times take no part in that search: several entries of one second, and even identical
// entries, are told apart by their neighbours (see findEventLogIndex).
//
// Stateless. The caller owns the stored entries and holds their lock for the whole merge
// (LockedMessageList::merge).
class EventLogMerger {
public:
    using Entries = std::deque<Message>;  // oldest first

    // The stored list never holds more; the oldest entries give way.
    static constexpr size_t kMaxStoredEntries = 25000;
    // How many stored entries before the newest one must also line up with the reply before a
    // match counts. Bounds the search at reply size times this, whatever the reply holds.
    static constexpr size_t kAlignmentDepth = 64;

    // "ts" such as "Mon, 12 Feb 2024 14:03:05 +0000" without its first 5 and last 6 characters,
    // read as "d MMM yyyy hh:mm:ss" with English month names on every desktop. The codec's
    // wall-clock time, labelled UTC so that no daylight-saving gap of this desktop can make it
    // invalid. Invalid for anything else, a missing "ts" included.
    static QDateTime parseTimestamp(const Message& entry);
    // The moment of the entry, in UTC: parseTimestamp less the zone "ts" ends with ("+0100").
    // Invalid when either cannot be read.
    static QDateTime entryTime(const Message& entry);
    // The one time format of a codec's Log tab, its entries' and this program's lines alike: the
    // moment in this desktop's local time, "Tue, 8 Dec 2026 21:03:18", with English names.
    static QString displayTime(const QDateTime& moment);
    // The entry's time (displayTime), ": ", then its value as UTF-8 text. An entry whose time
    // cannot be read keeps "ts" as the codec wrote it, up to (without) its last blank; a "ts"
    // without a blank contributes nothing, so the line starts with ": ".
    static QString parseEventLogEntry(const Message& entry);

    // Appends the entries of `reply` that are newer than the last stored one and returns their
    // display lines, oldest first. When the reply no longer holds the last stored entry (the
    // codec's log was cleared or has rotated past it) the whole reply is appended.
    static QStringList parseEventLog(const Message& reply, Entries& stored);

    // The index in `reply` of the newest stored entry, or -1. A candidate is an entry equal to it
    // (whole trees) whose predecessors in the reply also equal the stored entries before it, up to
    // kAlignmentDepth of them or until either list begins; the candidate nearest the reply's end
    // wins. So [A X] stored and [A X X B] received adds "X B", not only "B".
    static int findEventLogIndex(const std::vector<const Message*>& reply, const Entries& stored);

    // Appends copies of reply[from..] and returns their display lines; beyond kMaxStoredEntries
    // the oldest stored entry is dropped for each one appended.
    static QStringList appendEventLog(const std::vector<const Message*>& reply, size_t from, Entries& stored);
};
