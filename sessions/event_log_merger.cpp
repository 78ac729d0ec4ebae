#include "sessions/event_log_merger.h"

#include <QDebug>
#include <QLocale>

#include <algorithm>
#include <string>

namespace {

QString timestamp_text(const Message& entry) {
    return QString::fromStdString(entry.attributes().get_string("ts", std::string()));
}

}  // namespace

QDateTime EventLogMerger::parseTimestamp(const Message& entry) {
    QString text = timestamp_text(entry);
    text.chop(6);        // the zone, e.g. " +0000"
    text = text.mid(5);  // the weekday, e.g. "Mon, "
    // Date and time are read apart and joined as UTC: read as one local date-time, a time inside
    // this desktop's spring-forward gap would come out invalid.
    const int blank = text.lastIndexOf(QLatin1Char(' '));
    if (blank < 0) return QDateTime();
    const QLocale c_locale = QLocale::c();
    const QDate date = c_locale.toDate(text.left(blank), QStringLiteral("d MMM yyyy"));
    const QTime time = c_locale.toTime(text.mid(blank + 1), QStringLiteral("hh:mm:ss"));
    if (!date.isValid() || !time.isValid()) return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

QDateTime EventLogMerger::entryTime(const Message& entry) {
    const QDateTime wall_clock = parseTimestamp(entry);
    const QString zone = timestamp_text(entry).right(5);  // "+0100"
    const QString digits = zone.mid(1);
    const bool is_offset = zone.size() == 5 &&
                           (zone.startsWith(QLatin1Char('+')) || zone.startsWith(QLatin1Char('-'))) &&
                           std::all_of(digits.cbegin(), digits.cend(), [](QChar c) { return c.isDigit(); });
    const int hhmm = digits.toInt();
    if (!wall_clock.isValid() || !is_offset || hhmm % 100 > 59) return QDateTime();
    const int offset_s = (hhmm / 100 * 3600 + hhmm % 100 * 60) * (zone.startsWith(QLatin1Char('-')) ? -1 : 1);
    return wall_clock.addSecs(-offset_s);
}

QString EventLogMerger::displayTime(const QDateTime& moment) {
    return QLocale::c().toString(moment.toLocalTime(), QStringLiteral("ddd, d MMM yyyy HH:mm:ss"));
}

QString EventLogMerger::parseEventLogEntry(const Message& entry) {
    const QDateTime time = entryTime(entry);
    QString line;
    if (time.isValid()) {
        line = displayTime(time);
    } else {
        line = timestamp_text(entry);
        line.truncate(std::max(line.lastIndexOf(QLatin1Char(' ')), 0));
    }
    return line + QStringLiteral(": ") + QString::fromStdString(entry.value().to_string());
}

QStringList EventLogMerger::parseEventLog(const Message& reply, Entries& stored) {
    const unsigned count = reply.child_count("e");
    std::vector<const Message*> entries;
    entries.reserve(count);
    for (unsigned i = 0; i < count; ++i) entries.push_back(&reply.get_child("e", i));
    if (entries.empty()) return {};
    if (stored.empty()) return appendEventLog(entries, 0, stored);

    // The time no longer steers the search, so an unreadable one costs nothing but this warning;
    // refusing the reply here would freeze the log for good, as the last entry would never change.
    if (!parseTimestamp(stored.back()).isValid()) qWarning() << "Timestamp is invalid";
    const int last_stored = findEventLogIndex(entries, stored);
    return appendEventLog(entries, static_cast<size_t>(last_stored + 1), stored);
}

int EventLogMerger::findEventLogIndex(const std::vector<const Message*>& reply, const Entries& stored) {
    if (stored.empty()) return -1;
    const size_t newest = stored.size() - 1;
    for (size_t i = reply.size(); i-- > 0;) {
        if (*reply[i] != stored[newest]) continue;
        const size_t depth = std::min({i, newest, kAlignmentDepth});
        size_t back = 1;
        while (back <= depth && *reply[i - back] == stored[newest - back]) ++back;
        if (back > depth) return static_cast<int>(i);
    }
    return -1;
}

QStringList EventLogMerger::appendEventLog(const std::vector<const Message*>& reply, size_t from, Entries& stored) {
    QStringList lines;
    for (size_t i = from; i < reply.size(); ++i) {
        if (stored.size() >= kMaxStoredEntries) stored.pop_front();
        stored.push_back(*reply[i]);
        lines.append(parseEventLogEntry(*reply[i]));
    }
    return lines;
}
