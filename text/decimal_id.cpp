#include "text/decimal_id.h"

#include <limits>

std::optional<int> readDecimalId(const QString& text) {
    int i = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    const bool isNegative = i == 1;
    if (i == text.size()) return std::nullopt;
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        magnitude = magnitude * 10 + (c.unicode() - '0');
        if (magnitude > qint64{std::numeric_limits<int>::max()} + 1) return std::nullopt;
    }
    const qint64 value = isNegative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(value);
}
