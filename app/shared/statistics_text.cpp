#include "app/shared/statistics_text.h"

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
