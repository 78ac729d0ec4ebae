#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

// One line of a session's device log. Travels by value in DeviceLog's signals (queued across
// threads as the meta-type "LogLine"), so a view never points into the log itself.
struct LogLine {
    QString text;    // the time as the Log tab writes it (EventLogMerger::displayTime), ": ", the event
    int type = -1;   // -1 untyped, 0 event, 1 and 2 further kinds; only 0 is produced today
    QDateTime time;  // when it was written, in UTC: where it stands among the codec's entries

    bool operator==(const LogLine& other) const {
        return type == other.type && text == other.text && time == other.time;
    }
    bool operator!=(const LogLine& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(LogLine)
