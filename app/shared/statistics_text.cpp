#include "app/shared/statistics_text.h"

#include <QFont>
#include <QTreeWidgetItem>

QString durationText(qint64 seconds) {
    const qint64 hours = seconds / 3600;
    const int minutes = static_cast<int>(seconds / 60 % 60);
    const int rest = static_cast<int>(seconds % 60);
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(rest, 2, 10, QLatin1Char('0'));
}

QString tenthsText(int tenths, const QString& unit) {
    return QString::number(tenths / 10) + unit;
}

void showFigureStale(QTreeWidgetItem& item, int column, bool isStale) {
    const QBrush text = isStale ? QBrush(Qt::gray) : QBrush();
    if (item.foreground(column) != text) item.setForeground(column, text);
    if (item.data(column, Qt::FontRole).isValid() == isStale) return;
    // Only the slant is set: the view resolves the rest from its own font.
    QFont slanted;
    slanted.setItalic(true);
    item.setData(column, Qt::FontRole, isStale ? QVariant(slanted) : QVariant());
}
