#include "sessions/device_log.h"

#include <QLocale>
#include <QTime>

DeviceLog::DeviceLog(QObject* parent) : QObject(parent) {}

DeviceLog::~DeviceLog() = default;

void DeviceLog::addLine(const QString& text, int type) {
    // The C locale keeps the digits and separators the same on every desktop.
    LogLine line;
    const QString time = QLocale::c().toString(QTime::currentTime(), QStringLiteral("HH:mm:ss"));
    line.text = time + QLatin1Char(' ') + text;
    line.type = type;
    if (event_log_) line.event_entries_before = event_log_->appendedCount();
    lines_.prepend(line);
    if (lines_.size() <= kMaxLines) {
        emit lineAdded(line);
        return;
    }
    lines_.removeLast();
    emit lineReplaced(line);
}

QStringList DeviceLog::linesAmongEventLog() const {
    qint64 entry_number = 0;
    const QStringList entries = event_log_ ? event_log_->lines(&entry_number) : QStringList();
    QStringList merged;
    merged.reserve(entries.size() + lines_.size());
    int own = lines_.size() - 1;  // the oldest of ours not yet placed
    for (const QString& entry : entries) {
        while (own >= 0 && lines_[own].event_entries_before <= entry_number) merged.append(lines_[own--].text);
        merged.append(entry);
        ++entry_number;
    }
    while (own >= 0) merged.append(lines_[own--].text);
    return merged;
}
