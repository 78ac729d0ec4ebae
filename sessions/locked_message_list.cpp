#include "sessions/locked_message_list.h"

#include "sessions/event_log_merger.h"

LockedMessageList::LockedMessageList() = default;

LockedMessageList::~LockedMessageList() = default;

QStringList LockedMessageList::merge(const Message& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    const QStringList added = EventLogMerger::parseEventLog(reply, entries_);
    appended_ += added.size();  // a line each
    return added;
}

QStringList LockedMessageList::lines(qint64* first_number) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (first_number) *first_number = appended_ - static_cast<qint64>(entries_.size());
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

qint64 LockedMessageList::appendedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return appended_;
}
