#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QTimeZone>

// The one way a local calendar date and wall-clock time become a point in time. Every place that
// turns an operator's or a file's date and time into a QDateTime goes through here, so that all of
// them agree on the two wall-clock times that daylight saving makes awkward:
//   - a time inside a spring-forward gap (02:30 on a day that jumps from 02:00 to 03:00) moves
//     forward by the length of the gap (03:30), as QDateTime::addDays does;
//   - a time that occurs twice in an autumn fall-back hour is its first occurrence (still summer
//     time).
// Qt's own constructor gives an invalid value for the first and the second occurrence for the
// other. Local time is the C library's: TZ, else /etc/localtime. Invalid for an invalid date or
// time.
QDateTime localDateTime(const QDate& date, const QTime& time);

// The moment at which the wall clock of `written_in` reads `date` and `time` (with the same rules
// for its gaps and overlaps), as a local time: how a time written under another zone keeps its
// moment. An invalid zone reads the time as local (localDateTime).
QDateTime localDateTime(const QDate& date, const QTime& time, const QTimeZone& written_in);

// The machine's time zone as the schedule file names it (an IANA id, such as "Europe/Berlin").
QByteArray localZoneId();

constexpr qint64 kDayMs = 24 * 3600 * 1000;

// A date-time's wall-clock reading in milliseconds, counted as if its zone kept one offset all
// year: two of them differ from the time between them by at most the zone's clock shifts. Had
// without asking the zone, where Qt's arithmetic on local times looks at the system's zone file
// (with TZ unset) at every step: for the scheduler's pass, which asks of every booking.
qint64 wallClockMs(const QDateTime& when);
