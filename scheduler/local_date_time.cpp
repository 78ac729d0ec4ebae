#include "scheduler/local_date_time.h"

namespace {

// A zone's offset from UTC, in seconds, at the instant `utc_ms`.
using OffsetAt = qint64 (*)(qint64 utc_ms, const QTimeZone* zone);

qint64 localOffsetAt(qint64 utc_ms, const QTimeZone*) {
    return QDateTime::fromMSecsSinceEpoch(utc_ms, Qt::LocalTime).offsetFromUtc();
}

qint64 zoneOffsetAt(qint64 utc_ms, const QTimeZone* zone) {
    return zone->offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utc_ms, Qt::UTC));
}

// The instant, in milliseconds since the epoch, at which a zone's wall clock reads `date` `time`.
qint64 momentOf(const QDate& date, const QTime& time, OffsetAt offsetAt, const QTimeZone* zone) {
    // The wall-clock reading as if it were UTC; the instant we want lies within a day of it.
    const qint64 wall_ms = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    // The offsets in force a day either side. A zone changes its offset at most once in that span,
    // so these are the only offsets the wall-clock reading can be read with.
    const qint64 offset_before = offsetAt(wall_ms - kDayMs, zone);
    const qint64 offset_after = offsetAt(wall_ms + kDayMs, zone);
    // Earlier instant first: in a fall-back overlap both readings hold and the first one wins.
    const qint64 earlier = wall_ms - qMax(offset_before, offset_after) * 1000;
    const qint64 later = wall_ms - qMin(offset_before, offset_after) * 1000;
    for (const qint64 candidate : {earlier, later}) {
        if (offsetAt(candidate, zone) * 1000 == wall_ms - candidate) return candidate;
    }
    // In a spring-forward gap neither reading holds: read it with the offset from before the gap,
    // which lands as far past the gap's end as the time was past its start.
    return wall_ms - offset_before * 1000;
}

}  // namespace

QDateTime localDateTime(const QDate& date, const QTime& time) {
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime::fromMSecsSinceEpoch(momentOf(date, time, localOffsetAt, nullptr), Qt::LocalTime);
}

QDateTime localDateTime(const QDate& date, const QTime& time, const QTimeZone& written_in) {
    if (!written_in.isValid()) return localDateTime(date, time);
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime::fromMSecsSinceEpoch(momentOf(date, time, zoneOffsetAt, &written_in), Qt::LocalTime);
}

qint64 wallClockMs(const QDateTime& when) {
    return when.date().toJulianDay() * kDayMs + when.time().msecsSinceStartOfDay();
}

QByteArray localZoneId() {
    return QTimeZone::systemTimeZoneId();
}
