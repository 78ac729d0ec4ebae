#include "sessions/warning_limiter.h"

#include <QDebug>

void WarningLimiter::warn(const QString& key, const QString& text) {
    Entry& entry = entries_[key];
    if (entry.last.isValid() && !entry.last.hasExpired(kIntervalMs)) {
        ++entry.held_back;
        return;
    }
    if (entry.held_back > 0) {
        qWarning().noquote() << text << QStringLiteral("(%1 more held back)").arg(entry.held_back);
    } else {
        qWarning().noquote() << text;
    }
    entry.held_back = 0;
    entry.last.start();
}
