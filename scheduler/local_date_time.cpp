#include "scheduler/local_date_time.h"

namespace {

constexpr qint64 kDayMs = 24 * 3600 * 1000;

// The local clock's offset from UTC, in seconds, at the instant `utc_ms`.
qint64 offsetAt(qint64 utc_ms) {
    return QDateTime::fromMSecsSinceEpoch(utc_ms, Qt::LocalTime).offsetFromUtc();
}

}  // namespace

QDateTime localDateTime(const QDate& date, const QTime& time) {
    if (!date.isValid() || !time.isValid()) return {};
    // The wall-clock reading as if it were UTC; the instant we want lies within a day of it.
    const qint64 wall_ms = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    // The offsets in force a day either side. A zone changes its offset at most once in that span,
    // so these are the only offsets the wall-clock reading can be read with.
    const qint64 offset_before = offsetAt(wall_ms - kDayMs);
    const qint64 offset_after = offsetAt(wall_ms + kDayMs);
    // Earlier instant first: in a fall-back overlap both readings hold and the first one wins.
    const qint64 earlier = wall_ms - qMax(offset_before, offset_after) * 1000;
    const qint64 later = wall_ms - qMin(offset_before, offset_after) * 1000;
    for (const qint64 candidate : {earlier, later}) {
        if (offsetAt(candidate) * 1000 == wall_ms - candidate) {
            return QDateTime::fromMSecsSinceEpoch(candidate, Qt::LocalTime);
        }
    }
    // In a spring-forward gap neither reading holds: read it with the offset from before the gap,
    // which lands as far past the gap's end as the time was past its start.
    return QDateTime::fromMSecsSinceEpoch(wall_ms - offset_before * 1000, Qt::LocalTime);
}
