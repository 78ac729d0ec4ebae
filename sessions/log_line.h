#pragma once

#include <QMetaType>
#include <QString>

// One line of a session's device log. Travels by value in DeviceLog's signals (queued across
// threads as the meta-type "LogLine"), so a view never points into the log itself.
struct LogLine {
    QString text;   // local time "HH:mm:ss", one blank, then the event text
    int type = -1;  // -1 untyped, 0 event, 1 and 2 further kinds; only 0 is produced today
    // The session's event-log entries appended before it (LockedMessageList::appendedCount): where
    // it stands among them.
    qint64 event_entries_before = 0;

    bool operator==(const LogLine& other) const {
        return type == other.type && text == other.text && event_entries_before == other.event_entries_before;
    }
    bool operator!=(const LogLine& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(LogLine)
