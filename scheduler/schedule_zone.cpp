#include "scheduler/schedule_zone.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "ipc/message/message.h"
#include "scheduler/job.h"
#include "scheduler/local_date_time.h"
#include "text/codec_text.h"

namespace {

// The attributes of "job" and "call" elements that hold a wall-clock time.
const char* const kTimeAttributes[] = {"start",           "end",   "recurrence_end", "connected", "forced",
                                       "later_call_seen", "since", "dialled",        "call_ended"};
// The database's longest names are some 30 characters.
constexpr int kMaxZoneIdLength = 64;
// How much of a zone id the file names a notice or a log line quotes.
constexpr int kMaxZoneIdShown = 60;

// Shaped as the database's names are: parts of letters, digits, "_", "-", "+" and ".", none
// empty and none beginning with a dot, joined by "/".
bool isZoneIdShaped(const QByteArray& id) {
    if (id.isEmpty() || id.size() > kMaxZoneIdLength) return false;
    for (const QByteArray& part : id.split('/')) {
        if (part.isEmpty() || part.startsWith('.')) return false;
        const bool is_plain = std::all_of(part.cbegin(), part.cend(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
                   c == '+' || c == '.';
        });
        if (!is_plain) return false;
    }
    return true;
}

// A regular file of the zone database that begins as every zone file does.
bool isZoneFile(const QString& path) {
    if (!QFileInfo(path).isFile()) return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "TZif";
}

// Every time of the file's jobs and calls reads the same moment in `zone` as in local time.
bool readsAlike(const Message& root, const QTimeZone& zone) {
    const auto elementReadsAlike = [&zone](const Message& element) {
        const Message::Attributes& a = element.attributes();
        return std::all_of(std::begin(kTimeAttributes), std::end(kTimeAttributes), [&](const char* name) {
            QDate date;
            QTime time;
            if (!Job::parseDateText(a.get_qstring(name, QString()), date, time)) return true;
            return localDateTime(date, time, zone) == localDateTime(date, time);
        });
    };
    for (unsigned i = 0; i < root.child_count("job"); ++i) {
        if (!elementReadsAlike(root.get_child("job", i))) return false;
    }
    if (root.child_count("calls") == 0) return true;
    const Message& calls = root.get_child("calls", 0);
    for (unsigned i = 0; i < calls.child_count("call"); ++i) {
        if (!elementReadsAlike(calls.get_child("call", i))) return false;
    }
    return true;
}

}  // namespace

bool isKnownZoneId(const QByteArray& id) {
    if (!isZoneIdShaped(id)) return false;
    if (QTimeZone::availableTimeZoneIds().contains(id)) return true;
    // The file Qt would open: the first that exists of $TZDIR's and the system folder's.
    const QString name = QLatin1Char('/') + QString::fromLatin1(id);
    for (const QString& folder : {qEnvironmentVariable("TZDIR"), QStringLiteral("/usr/share/zoneinfo")}) {
        if (!folder.isEmpty() && QFileInfo::exists(folder + name)) return isZoneFile(folder + name);
    }
    return false;
}

FileZone zoneOf(const Message& root) {
    FileZone found;
    const QByteArray written = QByteArray::fromStdString(root.attributes().get_string("zone", ""));
    // None named (an older file, or an empty name): local times, and nothing to say.
    if (written.isEmpty()) return found;
    if (written == localZoneId()) return found;
    if (!isKnownZoneId(written) || !QTimeZone(written).isValid()) {
        found.is_unknown = true;
        found.unknown_id = shownCodecText(QString::fromUtf8(written), kMaxZoneIdShown);
        return found;
    }
    const QTimeZone zone(written);
    if (!readsAlike(root, zone)) found.written_in = zone;
    return found;
}

void retimeElement(Message& element, const QTimeZone& written_in) {
    Message::Attributes& a = element.attributes();
    for (const char* name : kTimeAttributes) {
        QDate date;
        QTime time;
        if (!Job::parseDateText(a.get_qstring(name, QString()), date, time)) continue;
        const QDateTime moment = localDateTime(date, time, written_in);
        a.set(name, Job::dateText(moment.date(), moment.time()).toStdString());
    }
}
