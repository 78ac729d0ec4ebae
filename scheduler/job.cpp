#include "scheduler/job.h"

#include <QDebug>
#include <QLocale>
#include <QStringList>

#include <algorithm>

#include "ipc/message/message.h"
#include "platform/utf16.h"
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

// "none", "daily", "weekly"; empty for any other value.
const char* frequencyKeyword(int frequency) {
    switch (frequency) {
    case Job::Once: return "none";
    case Job::Daily: return "daily";
    case Job::Weekly: return "weekly";
    default: return "";
    }
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
    return QString::fromLatin1(frequencyKeyword(frequency));
}

Job::JobFrequency Job::frequencyFromName(const QString& name) {
    if (name == QLatin1String("daily")) return Daily;
    if (name == QLatin1String("weekly")) return Weekly;
    return Once;
}

QString Job::recurrenceText(const Job& job) {
    if (job.frequency == Once) return QStringLiteral("None");
    QString text = job.frequency == Daily    ? QStringLiteral("Daily, ")
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

QString Job::normalPeerId(const QString& peer) {
    return isPeerId(peer) ? QString::number(peer.toInt()) : peer;
}

void Job::restartOccurrence() {
    state = Waiting;
    showStatus(QString());
    is_wait_reason_unsaid = false;
    wait_reason = BookingReason();
    has_sent_connect = false;
    has_operator_connect = false;
    connect_refusal.clear();
    is_connect_refusal_sure = false;
    forced_others.clear();
    force_refusal.clear();
    ended_by_force.clear();
    is_force_end_logged = false;
    is_next_refused = false;
    connected_at = QDateTime();
    forced_at = QDateTime();
    later_call_seen_at = QDateTime();
    call_ended_at = QDateTime();
    next_occurrence_id = -1;
}

void Job::setWindow(const QDate& start_date, const QTime& start_time, const QDate& end_date, const QTime& end_time) {
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

void Job::fromMessage(const Message& element, const QTimeZone& written_in) {
    const Message::Attributes& a = element.attributes();
    QDate start_date, end_date, recurrence_date, connected_date, forced_date, seen_date, ended_date;
    QTime start_time, end_time, recurrence_time, connected_time, forced_time, seen_time, ended_time;
    readDate(element, "start", start_date, start_time);
    readDate(element, "end", end_date, end_time);
    readDate(element, "recurrence_end", recurrence_date, recurrence_time);
    readDate(element, "connected", connected_date, connected_time);
    readDate(element, "forced", forced_date, forced_time);
    readDate(element, "later_call_seen", seen_date, seen_time);
    readDate(element, "call_ended", ended_date, ended_time);
    if (written_in.isValid()) {
        // Written under another zone: each time keeps its moment, and the chosen wall-clock times
        // become this zone's readings of those moments.
        start = localDateTime(start_date, start_time, written_in);
        end = localDateTime(end_date, end_time, written_in);
        start_clock = start.time();
        end_clock = end.time();
    } else {
        setWindow(start_date, start_time, end_date, end_time);
    }
    recurrence_end = localDateTime(recurrence_date, recurrence_time, written_in);
    connected_at = localDateTime(connected_date, connected_time, written_in);
    forced_at = localDateTime(forced_date, forced_time, written_in);
    later_call_seen_at = localDateTime(seen_date, seen_time, written_in);
    call_ended_at = localDateTime(ended_date, ended_time, written_in);
    priority = a.get_bool("priority", false);
    peer = normalPeerId(a.get_qstring("peer", QString()));
    peer_name = a.get_qstring("peer_name", QString());
    peer_address = a.get_qstring("peer_addr", QString());
    wait_reason = BookingReason::fromFile(a.get_qstring("wait", QString()), a.get_qstring("wait_peer", QString()),
                                          a.get_qstring("wait_detail", QString()));
    // A file written before reasons had codes kept their words.
    const QString written = a.get_qstring("wait_reason", QString());
    if (wait_reason.isNone() && !written.isEmpty()) wait_reason = {BookingReason::Code::kWritten, QString(), written};
    repeat_forever = a.get_bool("repeat_forever", false);
    frequency = frequencyFromName(a.get_qstring("frequency", QString()));
}

void Job::visitAttributes(const AttributeVisitor& visit) const {
    std::string text;
    const auto date = [&](const char* name, const QDate& day, const QTime& time) {
        text.clear();
        appendDateText(text, day, time);
        visit(name, text, true);
    };
    const auto utf8 = [&](const char* name, const QString& value) { visitText(visit, name, value, text); };
    if (call_ended_at.isValid()) date("call_ended", call_ended_at.date(), call_ended_at.time());
    if (connected_at.isValid()) date("connected", connected_at.date(), connected_at.time());
    date("end", end.date(), endClock());
    if (forced_at.isValid()) date("forced", forced_at.date(), forced_at.time());
    visit("frequency", frequencyKeyword(frequency), true);
    utf8("ip", host);
    if (later_call_seen_at.isValid()) date("later_call_seen", later_call_seen_at.date(), later_call_seen_at.time());
    utf8("peer", peer);
    if (!peer_address.isEmpty()) utf8("peer_addr", peer_address);
    if (!peer_name.isEmpty()) utf8("peer_name", peer_name);
    visit("port", std::to_string(port), true);
    visit("priority", priority ? "true" : "false", true);
    if (recurrence_end.isValid()) date("recurrence_end", recurrence_end.date(), recurrence_end.time());
    visit("repeat_forever", repeat_forever ? "true" : "false", true);
    date("start", start.date(), startClock());
    if (wait_reason.code == BookingReason::Code::kWritten) {
        utf8("wait_reason", wait_reason.detail);
    } else if (!wait_reason.isNone()) {
        visit("wait", wait_reason.fileName().toStdString(), true);
        if (!wait_reason.detail.isEmpty()) utf8("wait_detail", wait_reason.detail);
        if (!wait_reason.peer.isEmpty()) utf8("wait_peer", wait_reason.peer);
    }
}

void Job::visitText(const AttributeVisitor& visit, const char* name, const QString& value, std::string& buffer) {
    buffer.clear();
    platform::append_utf8(buffer, reinterpret_cast<const char16_t*>(value.utf16()), static_cast<size_t>(value.size()));
    visit(name, buffer, false);
}

void Job::toMessage(Message& element) const {
    Message::Attributes& a = element.attributes();
    visitAttributes([&](const char* name, std::string_view text, bool) { a.set(name, std::string(text)); });
}

QString Job::dateText(const QDate& date, const QTime& time) {
    std::string text;
    appendDateText(text, date, time);
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

void Job::appendDateText(std::string& out, const QDate& date, const QTime& time) {
    // Spelt out, not QLocale's nor printf's: a schedule is written whole at every change, with
    // thousands of dates.
    static const char kDays[] = "MonTueWedThuFriSatSun";
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (!date.isValid() || !time.isValid()) return;
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    const int week_day = static_cast<int>((date.toJulianDay() % 7 + 7) % 7);  // 0 is a Monday
    char text[32];
    char* at = text;
    const auto put = [&at](int value, int digits) {
        for (int place = digits - 1; place >= 0; --place) {
            at[place] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        at += digits;
    };
    at = std::copy_n(kDays + 3 * week_day, 3, at);
    *at++ = ' ';
    at = std::copy_n(kMonths + 3 * (month - 1), 3, at);
    *at++ = ' ';
    put(day, day < 10 ? 1 : 2);
    *at++ = ' ';
    put(time.hour(), 2);
    *at++ = ':';
    put(time.minute(), 2);
    *at++ = ':';
    put(time.second(), 2);
    *at++ = ' ';
    if (year >= 0 && year <= 9999) {
        put(year, 4);  // as "yyyy" writes it
        out.append(text, static_cast<size_t>(at - text));
        return;
    }
    out.append(text, static_cast<size_t>(at - text));
    out += std::to_string(year);
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
    debug << "Job("
          << "uuid:" << job.uuid << "start: " << job.start << ", end: " << job.end
          << ",\n recurEnd: " << job.recurrence_end << ", peer_id: " << job.peer
          << ", forever: " << (job.repeat_forever ? "true" : "false")
          << ", frequency: " << Job::frequencyName(job.frequency) << ", state: " << int(job.state) << ")\n";
    return debug;
}
