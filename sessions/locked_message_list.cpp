#include "sessions/locked_message_list.h"

#include <algorithm>

#include "sessions/event_log_merger.h"

LockedMessageList::LockedMessageList() = default;

LockedMessageList::~LockedMessageList() = default;

QStringList LockedMessageList::merge(const Message& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    const QStringList added = EventLogMerger::parseEventLog(reply, entries_);
    // The merge dropped as many of the oldest entries as it had to; the lines and moments follow.
    const size_t kept = entries_.size() - std::min(entries_.size(), static_cast<size_t>(added.size()));
    while (lines_.size() > kept) {
        lines_.pop_front();
        times_.pop_front();
    }
    const int first_stored = added.size() - static_cast<int>(entries_.size() - kept);
    for (size_t i = kept; i < entries_.size(); ++i) {
        const QDateTime time = EventLogMerger::entryTime(entries_[i]);
        lines_.push_back(added[first_stored + static_cast<int>(i - kept)]);
        times_.push_back(time);
        if (time.isValid() && (!latest_.isValid() || time > latest_)) latest_ = time;
    }
    return added;
}

QStringList LockedMessageList::lines(QList<QDateTime>* times) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (times) *times = QList<QDateTime>(times_.cbegin(), times_.cend());
    return QStringList(lines_.cbegin(), lines_.cend());
}

QList<QDateTime> LockedMessageList::newestTimes(int count) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t taken = std::min(times_.size(), static_cast<size_t>(std::max(count, 0)));
    return QList<QDateTime>(times_.cend() - static_cast<std::ptrdiff_t>(taken), times_.cend());
}

QDateTime LockedMessageList::latestTime() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

void LockedMessageList::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    lines_.clear();
    times_.clear();
    latest_ = QDateTime();
}

int LockedMessageList::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(entries_.size());
}
