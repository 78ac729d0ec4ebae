#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "sessions/locked_message_list.h"
#include "sessions/log_line.h"

// The notable things this program itself saw about one codec (audio connections starting and
// ending), newest first, at most kMaxLines lines, each with the moment it was written. One per
// session, a member of it.
//
// Threads: GUI thread only; no lock. Views receive each new line by value through lineAdded or
// lineReplaced and read the whole log as a copy (lines()); they never keep a pointer or iterator
// into the list past a return to the event loop.
class DeviceLog : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxLines = 1000;

    explicit DeviceLog(QObject* parent = nullptr);
    ~DeviceLog() override;

    // Writes the line as "<time>: <text>", the time as the codec's entries show theirs
    // (EventLogMerger::displayTime). Announces it with lineAdded while the log holds at most
    // kMaxLines lines; otherwise the oldest line is dropped first and the new one is announced with
    // lineReplaced.
    void addLine(const QString& text, int type);
    void addUntypedLine(const QString& text) { addLine(text, -1); }
    void addEventLine(const QString& text) { addLine(text, 0); }
    void addType1Line(const QString& text) { addLine(text, 1); }
    void addType2Line(const QString& text) { addLine(text, 2); }

    // The event log whose entries this log's lines stand among; not owned, and kept by the session
    // beside this log.
    void placeAmong(const LockedMessageList* event_log) { event_log_ = event_log; }
    // A copy, newest line at index 0.
    QList<LogLine> lines() const { return lines_; }
    // The event log's display lines with this log's lines among them by their times, oldest first:
    // what the Log tab shows of a codec. The entries keep the codec's order; a line of ours goes
    // before the first entry of a later second, and an entry whose time cannot be read moves none.
    // With how many of ours end the list, after every entry, in `trailing` when given.
    QStringList linesAmongEventLog(int* trailing = nullptr) const;
    // The end of such a list once the event log's newest entries (`added`, their lines) have come:
    // the `trailing` lines of ours that ended it, with those entries now among them. `trailing`
    // becomes how many of ours end it now.
    QStringList linesAmongNewEntries(const QStringList& added, int& trailing) const;
    // Whether `line` goes after every entry of the event log, so at the end of such a list.
    bool followsEveryEntry(const LogLine& line) const;
    int size() const { return lines_.size(); }
    // The log panel's "Reset": removes every line and announces nothing.
    void clear() { lines_.clear(); }

signals:
    void lineAdded(LogLine line);
    void lineReplaced(LogLine line);

private:
    // Appends `entries` (their moments in `times`) to `merged`, each of our lines from index `own`
    // down to 0 before the first entry it precedes; `own` ends at the newest line left unplaced.
    void placeLines(QStringList& merged, const QStringList& entries, const QList<QDateTime>& times, int& own) const;

    QList<LogLine> lines_;  // newest first, at most kMaxLines; views get copies, never pointers into it
    const LockedMessageList* event_log_ = nullptr;
};
