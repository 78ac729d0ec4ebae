#include "sessions/device_log.h"

#include <QLocale>
#include <QTime>

DeviceLog::DeviceLog(QObject* parent) : QObject(parent) {}

DeviceLog::~DeviceLog() = default;

void DeviceLog::addLine(const QString& text, int type) {
    // The C locale keeps the digits and separators the same on every desktop.
    LogLine line;
    const QString time = QLocale::c().toString(QTime::currentTime(), QStringLiteral("HH:mm:ss"));
    line.text = time + QLatin1Char(' ') + text;
    line.type = type;
    lines_.prepend(line);
    if (lines_.size() <= kMaxLines) {
        emit lineAdded(line);
        return;
    }
    lines_.removeLast();
    emit lineReplaced(line);
}
