#include "sessions/locked_message_list.h"

#include "sessions/event_log_merger.h"

LockedMessageList::LockedMessageList() = default;

LockedMessageList::~LockedMessageList() = default;

QStringList LockedMessageList::merge(const Message& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    return EventLogMerger::parseEventLog(reply, entries_);
}

QStringList LockedMessageList::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    QStringList lines;
    lines.reserve(static_cast<int>(entries_.size()));
    for (const Message& entry : entries_) lines.append(EventLogMerger::parseEventLogEntry(entry));
    return lines;
}

void LockedMessageList::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
}

int LockedMessageList::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(entries_.size());
}
