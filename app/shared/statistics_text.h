#pragma once

#include <QString>

class QTreeWidgetItem;

// The texts of a connection's statistics, and the look of stale ones, shown alike by the summary
// tree and the dock's table.

// A call's length as "hh:mm:ss". The hours keep counting past a day ("25:00:00").
QString durationText(qint64 seconds);
// A figure the codec reports in tenths, shown in whole units, cut towards zero: "123ms", "-1%".
QString tenthsText(int tenths, const QString& unit);
// Shows the figure in `column` of a row as stale (grey and slanted) or live. The slant stays
// visible where the selection's colours hide the grey.
void showFigureStale(QTreeWidgetItem& item, int column, bool isStale);
