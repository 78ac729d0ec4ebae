#pragma once

#include <QDateTime>
#include <QList>

#include "scheduler/job.h"

// The occurrences of a daily or weekly job's series, worked out from the job alone. Each is the
// same window a whole number of days later, on the wall-clock times the operator chose, so that
// daylight saving moves no occurrence off them for good.

// Daily or weekly: its finish adds the next occurrence of its series.
bool isRecurring(const Job& job);
// The days from one occurrence to the next: 7 for a weekly job, else 1.
int stepDays(const Job& job);
// The job's window `days` later, on its chosen wall-clock times, as a new occurrence.
Job occurrenceAfter(const Job& job, qint64 days);
// No occurrence starts after the recurrence end, unless it repeats forever.
bool hasNextOccurrence(const Job& job, const Job& next);
// The job's next occurrence: the first on its chosen wall-clock times whose end lies after now,
// so one whose window is open is kept. The starts of those skipped, within the recurrence, go
// to `passed_starts` when given.
Job nextOccurrence(const Job& job, const QDateTime& now, QList<QDateTime>* passed_starts = nullptr);
