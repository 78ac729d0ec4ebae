#include "sessions/device_log.h"

#include <algorithm>

#include "sessions/event_log_merger.h"

namespace {

// Whether `line` goes before an entry of moment `entry`: the codec writes whole seconds, so a line
// of the same second follows the entry.
bool isBefore(const LogLine& line, const QDateTime& entry) {
    return entry.isValid() && line.time.isValid() && line.time.toSecsSinceEpoch() < entry.toSecsSinceEpoch();
}

}  // namespace

DeviceLog::DeviceLog(QObject* parent) : QObject(parent) {}

DeviceLog::~DeviceLog() = default;

void DeviceLog::addLine(const QString& text, int type) {
    LogLine line;
    line.time = QDateTime::currentDateTimeUtc();
    line.text = EventLogMerger::displayTime(line.time) + QStringLiteral(": ") + text;
    line.type = type;
    lines_.prepend(line);
    if (lines_.size() <= kMaxLines) {
        emit lineAdded(line);
        return;
    }
    lines_.removeLast();
    emit lineReplaced(line);
}

void DeviceLog::placeLines(QStringList& merged, const QStringList& entries, const QList<QDateTime>& times,
                           int& own) const {
    for (int i = 0; i < entries.size(); ++i) {
        while (own >= 0 && isBefore(lines_[own], times.value(i))) merged.append(lines_[own--].text);
        merged.append(entries[i]);
    }
}

QStringList DeviceLog::linesAmongEventLog(int* trailing) const {
    QList<QDateTime> times;
    const QStringList entries = event_log_ ? event_log_->lines(&times) : QStringList();
    QStringList merged;
    merged.reserve(entries.size() + lines_.size());
    int own = lines_.size() - 1;  // the oldest of ours not yet placed
    placeLines(merged, entries, times, own);
    if (trailing) *trailing = own + 1;
    while (own >= 0) merged.append(lines_[own--].text);
    return merged;
}

QStringList DeviceLog::linesAmongNewEntries(const QStringList& added, int& trailing) const {
    // Lines of a reply longer than the event log keeps have no moment there: they move none of ours.
    const QList<QDateTime> stored = event_log_ ? event_log_->newestTimes(added.size()) : QList<QDateTime>();
    QList<QDateTime> times;
    times.reserve(added.size());
    while (times.size() + stored.size() < added.size()) times.append(QDateTime());
    times += stored;
    QStringList merged;
    int own = std::min(trailing, lines_.size()) - 1;
    placeLines(merged, added, times, own);
    trailing = own + 1;
    while (own >= 0) merged.append(lines_[own--].text);
    return merged;
}

bool DeviceLog::followsEveryEntry(const LogLine& line) const {
    return !isBefore(line, event_log_ ? event_log_->latestTime() : QDateTime());
}
