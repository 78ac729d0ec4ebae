#include "scheduler/schedule_zone.h"

#include <QByteArray>
#include <QDebug>

#include "ipc/message/message.h"
#include "scheduler/job.h"
#include "scheduler/local_date_time.h"

QTimeZone zoneWrittenIn(const Message& root) {
    const QByteArray written = QByteArray::fromStdString(root.attributes().get_string("zone", ""));
    // No zone (an older file), or this one: read as local times, daylight saving and all.
    if (written.isEmpty() || written == localZoneId()) return {};
    const QTimeZone zone(written);
    if (!zone.isValid()) {
        qWarning().noquote() << "schedule: the file names the time zone" << QString::fromUtf8(written)
                             << "which this machine does not know; its times are read as local times";
    }
    return zone;
}

void retimeElement(Message& element, const QTimeZone& written_in) {
    Message::Attributes& a = element.attributes();
    for (const char* name : {"start", "end", "recurrence_end", "connected", "forced", "later_call_seen", "since", "dialled"}) {
        QDate date;
        QTime time;
        if (!Job::parseDateText(a.get_qstring(name, QString()), date, time)) continue;
        const QDateTime moment = localDateTime(date, time, written_in);
        a.set(name, Job::dateText(moment.date(), moment.time()).toStdString());
    }
}
