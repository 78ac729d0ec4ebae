#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

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
