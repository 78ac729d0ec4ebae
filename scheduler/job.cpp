#include "scheduler/job.h"

#include <QDebug>
#include <QLocale>
#include <QStringList>

#include "ipc/message.h"
#include "scheduler/local_date_time.h"

namespace {

// Qt::TextDate's layout, spelt out so that the C locale's English names are used: Qt 5 writes
// Qt::TextDate in the system locale ("Mo. Apr. 1 …" under de_DE), which no other locale reads back.
const QString kDayPattern = QStringLiteral("ddd MMM d");
const QString kTimePattern = QStringLiteral("HH:mm:ss");
const QString kYearPattern = QStringLiteral("yyyy");

// An attribute in dateText's form; invalid date and time when it is missing or unreadable.
void readDate(const Message& element, const char* name, QDate& date, QTime& time) {
    if (Job::parseDateText(element.attributes().get_qstring(name, QString()), date, time)) return;
    date = QDate();
    time = QTime();
}

}  // namespace

QString Job::stateName(int state) {
    switch (state) {
    case Waiting: return QStringLiteral("Waiting");
    case Starting: return QStringLiteral("Starting");
    case Running: return QStringLiteral("Running");
    case Ending: return QStringLiteral("Ending");
    case Done: return QStringLiteral("Done");
    default: return {};
    }
}

QString Job::frequencyName(int frequency) {
    switch (frequency) {
    case Once: return QStringLiteral("none");
    case Daily: return QStringLiteral("daily");
    case Weekly: return QStringLiteral("weekly");
    default: return {};
    }
}

Job::JobFrequency Job::frequencyFromName(const QString& name) {
    if (name == QLatin1String("daily")) return Daily;
    if (name == QLatin1String("weekly")) return Weekly;
    return Once;
}

QString Job::recurrenceText(const Job& job) {
    if (job.frequency == Once) return QStringLiteral("None");
    QString text = job.frequency == Daily ? QStringLiteral("Daily, ")
                   : job.frequency == Weekly ? QStringLiteral("Weekly, ")
                                             : QString();
    if (job.repeat_forever) return text + QStringLiteral("forever");
    return text + QStringLiteral("until ") + QLocale::system().toString(job.recurrence_end, QLocale::LongFormat);
}

bool Job::isPeerId(const QString& peer) {
    if (peer.isEmpty()) return false;
    for (const QChar c : peer) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    }
    bool is_int = false;
    peer.toInt(&is_int);
    return is_int;
}

bool Job::isUnderWay(int state) {
    return state == Starting || state == Running || state == Ending;
}

QString Job::normalPeerId(const QString& peer) {
    return isPeerId(peer) ? QString::number(peer.toInt()) : peer;
}

void Job::restartOccurrence() {
    state = Waiting;
    warning.clear();
    has_sent_connect = false;
    is_next_refused = false;
    connected_at = QDateTime();
    forced_at = QDateTime();
    next_occurrence_id = -1;
}

void Job::setWindow(const QDate& start_date, const QTime& start_time, const QDate& end_date,
                    const QTime& end_time) {
    start_clock = start_time;
    end_clock = end_time;
    start = localDateTime(start_date, start_time);
    end = localDateTime(end_date, end_time);
    if (start.isValid() && end.isValid() && end <= start) {
        const qint64 wall_length =
            QDateTime(start_date, start_time, Qt::UTC).secsTo(QDateTime(end_date, end_time, Qt::UTC));
        end = start.addSecs(wall_length);
    }
}

void Job::fromMessage(const Message& element) {
    const Message::Attributes& a = element.attributes();
    QDate start_date, end_date, recurrence_date, connected_date, forced_date;
    QTime start_time, end_time, recurrence_time, connected_time, forced_time;
    readDate(element, "start", start_date, start_time);
    readDate(element, "end", end_date, end_time);
    readDate(element, "recurrence_end", recurrence_date, recurrence_time);
    readDate(element, "connected", connected_date, connected_time);
    readDate(element, "forced", forced_date, forced_time);
    setWindow(start_date, start_time, end_date, end_time);
    recurrence_end = localDateTime(recurrence_date, recurrence_time);
    connected_at = localDateTime(connected_date, connected_time);
    forced_at = localDateTime(forced_date, forced_time);
    priority = a.get_bool("priority", false);
    peer = normalPeerId(a.get_qstring("peer", QString()));
    peer_name = a.get_qstring("peer_name", QString());
    peer_address = a.get_qstring("peer_addr", QString());
    repeat_forever = a.get_bool("repeat_forever", false);
    frequency = frequencyFromName(a.get_qstring("frequency", QString()));
}

void Job::toMessage(Message& element) const {
    Message::Attributes& a = element.attributes();
    a.set("start", dateText(start.date(), startClock()));
    a.set("end", dateText(end.date(), endClock()));
    a.set("priority", priority);
    a.set("ip", host);
    a.set("port", port);
    a.set("peer", peer);
    a.set("frequency", frequencyName(frequency));
    a.set("repeat_forever", repeat_forever);
    if (recurrence_end.isValid()) a.set("recurrence_end", dateText(recurrence_end.date(), recurrence_end.time()));
    if (!peer_name.isEmpty()) a.set("peer_name", peer_name);
    if (!peer_address.isEmpty()) a.set("peer_addr", peer_address);
    if (connected_at.isValid()) a.set("connected", dateText(connected_at.date(), connected_at.time()));
    if (forced_at.isValid()) a.set("forced", dateText(forced_at.date(), forced_at.time()));
}

QString Job::dateText(const QDate& date, const QTime& time) {
    // Date and time apart, because a time in a spring-forward gap makes no valid QDateTime.
    const QLocale c = QLocale::c();
    return c.toString(date, kDayPattern) + QLatin1Char(' ') + c.toString(time, kTimePattern) +
           QLatin1Char(' ') + c.toString(date, kYearPattern);
}

bool Job::parseDateText(const QString& text, QDate& date, QTime& time) {
    const QStringList parts = text.simplified().split(QLatin1Char(' '));
    if (parts.size() != 5) return false;
    const QLocale c = QLocale::c();
    date = c.toDate(QStringList{parts[0], parts[1], parts[2], parts[4]}.join(QLatin1Char(' ')),
                    kDayPattern + QLatin1Char(' ') + kYearPattern);
    time = c.toTime(parts[3], kTimePattern);
    return date.isValid() && time.isValid();
}

QDebug operator<<(QDebug debug, const Job& job) {
    QDebugStateSaver saver(debug);
    debug << "Job(" << "uuid:" << job.uuid << "start: " << job.start << ", end: " << job.end
          << ",\n recurEnd: " << job.recurrence_end << ", peer_id: " << job.peer
          << ", forever: " << (job.repeat_forever ? "true" : "false")
          << ", frequency: " << Job::frequencyName(job.frequency) << ", state: " << int(job.state) << ")\n";
    return debug;
}
