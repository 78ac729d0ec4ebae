#pragma once

#include <QString>

// The texts of a connection's statistics, shown alike by the summary tree and the dock's table.

// A call's length as "hh:mm:ss". The hours keep counting past a day ("25:00:00").
QString durationText(qint64 seconds);
// A figure the codec reports in tenths, shown in whole units, cut towards zero: "123ms", "-1%".
QString tenthsText(int tenths, const QString& unit);
