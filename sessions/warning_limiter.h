#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>

// Keeps a codec that repeats one fault many times a second (a malformed report stream) from
// flooding the log: at most one warning per key and interval. The next warning after a quiet
// spell says how many were held back.
//
// Threads: one thread only (the session's GUI-thread parsers); no lock. Keys are the callers'
// fixed texts, so the table stays small.
class WarningLimiter {
public:
    static constexpr qint64 kIntervalMs = 60 * 1000;

    // Writes `text` through qWarning unless a warning for `key` went out less than kIntervalMs ago.
    void warn(const QString& key, const QString& text);

private:
    struct Entry {
        QElapsedTimer last;  // since the last warning written for the key
        int held_back = 0;   // warnings dropped since then
    };
    QHash<QString, Entry> entries_;
};
