#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "sessions/locked_message_list.h"
#include "sessions/log_line.h"

// The notable things this program itself saw about one codec (audio connections starting and
// ending), newest first, at most kMaxLines lines. One per session, a member of it.
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

    // Puts "HH:mm:ss <text>" (local wall-clock time, 24-hour, locale-independent digits) in front.
    // Announces it with lineAdded while the log holds at most kMaxLines lines; otherwise the oldest
    // line is dropped first and the new one is announced with lineReplaced.
    void addLine(const QString& text, int type);
    void addUntypedLine(const QString& text) { addLine(text, -1); }
    void addEventLine(const QString& text) { addLine(text, 0); }
    void addType1Line(const QString& text) { addLine(text, 1); }
    void addType2Line(const QString& text) { addLine(text, 2); }

    // From now on each line notes where it stands among that event log's entries; not owned, and
    // kept by the session beside this log.
    void placeAmong(const LockedMessageList* event_log) { event_log_ = event_log; }
    // A copy, newest line at index 0.
    QList<LogLine> lines() const { return lines_; }
    // The event log's display lines with this log's lines among them, each where it came, oldest
    // first: what the Log tab shows of a codec.
    QStringList linesAmongEventLog() const;
    int size() const { return lines_.size(); }
    // The log panel's "Reset": removes every line and announces nothing.
    void clear() { lines_.clear(); }

signals:
    void lineAdded(LogLine line);
    void lineReplaced(LogLine line);

private:
    QList<LogLine> lines_;  // newest first, at most kMaxLines; views get copies, never pointers into it
    const LockedMessageList* event_log_ = nullptr;
};
