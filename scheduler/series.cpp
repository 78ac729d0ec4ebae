#include "scheduler/series.h"

#include <QDate>

bool isRecurring(const Job& job) {
    return job.frequency == Job::Daily || job.frequency == Job::Weekly;
}

int stepDays(const Job& job) {
    return job.frequency == Job::Weekly ? 7 : 1;
}

Job occurrenceAfter(const Job& job, qint64 days) {
    Job next = job;
    next.restartOccurrence();
    const QDate start_date = job.start.date().addDays(days);
    next.setWindow(start_date, job.startClock(), start_date.addDays(job.start.date().daysTo(job.end.date())),
                   job.endClock());
    return next;
}

bool hasNextOccurrence(const Job& job, const Job& next) {
    return job.repeat_forever || next.start <= job.recurrence_end;
}

Job nextOccurrence(const Job& job, const QDateTime& now, QList<QDateTime>* passed_starts) {
    // An occurrence whose window is still open is kept: the call belongs in it until its end.
    for (qint64 days = stepDays(job);; days += stepDays(job)) {
        const Job next = occurrenceAfter(job, days);
        if (!next.start.isValid() || next.end > now) return next;
        if (passed_starts && hasNextOccurrence(job, next)) passed_starts->append(next.start);
    }
}
