#include "text/connection_fault_text.h"

#include <QCoreApplication>
#include <QLocale>

#include "sessions/ipc_object.h"
#include "sessions/requests_in_flight.h"
#include "text/codec_text.h"
#include "text/device_state_text.h"

namespace {

// The transport's and the reader's texts are ours, but may quote what a codec sent.
constexpr int kMaxDetailLength = 200;

QString tr(const char* text) {
    return QCoreApplication::translate("ConnectionFault", text);
}

QString detail(const ConnectionFault& fault) {
    return shownCodecText(fault.detail, kMaxDetailLength);
}

// A dropped frame may have held the answer: then it is not known that the codec answered nothing.
QString noAnswerText(const ConnectionFault& fault) {
    const int seconds = RequestsInFlight::kAnswerDeadlineUs / 1000000;
    // No detail: what went unanswered was the program's own probe, which the operator never sent.
    if (fault.detail.isEmpty()) {
        if (!fault.were_frames_dropped) {
            return tr("the codec answered nothing for %1 s, though its reports still came").arg(seconds);
        }
        return tr("no answer of the codec's came through for %1 s, though its reports did; at least one "
                  "message from it was dropped meanwhile and may have held an answer")
            .arg(seconds);
    }
    if (!fault.were_frames_dropped)
        return tr("the codec did not answer %1 within %2 s").arg(detail(fault)).arg(seconds);
    return tr("no answer of the codec's to %1 came through within %2 s; at least one message from it was "
              "dropped meanwhile and may have held the answer")
        .arg(detail(fault))
        .arg(seconds);
}

}  // namespace

QString connectionFaultText(const ConnectionFault& fault) {
    switch (fault.kind) {
    case ConnectionFault::kNone: return QString();
    case ConnectionFault::kLoginRefused: return tr("the codec refused the password");
    case ConnectionFault::kTimedOut: return tr("the codec stopped answering");
    case ConnectionFault::kCouldNotConnect: return tr("could not connect: %1").arg(detail(fault));
    case ConnectionFault::kClosedByCodec: return tr("the codec closed the connection");
    case ConnectionFault::kConnectionError: return tr("the connection failed: %1").arg(detail(fault));
    case ConnectionFault::kFrameUnreadable:
    case ConnectionFault::kFrameTooLarge: return droppedFrameText(fault, detail(fault));
    case ConnectionFault::kNoAnswer: return noAnswerText(fault);
    case ConnectionFault::kTooSlow: return tr("bytes from the codec came too slowly (%1)").arg(detail(fault));
    }
    return QString();
}

namespace {

// Why the last frame was dropped, after the count: "unreadable (why)", "too large (3145728 bytes)".
QString dropReason(const ConnectionFault& fault) {
    if (fault.kind == ConnectionFault::kFrameTooLarge) return tr("too large (%1 bytes)").arg(fault.size);
    return fault.detail.isEmpty() ? tr("unreadable") : tr("unreadable (%1)").arg(detail(fault));
}

// The wall-clock time of `moment` as the Log tab writes times, in any locale; its date first when
// it was not on `now`'s day.
QString dropTime(const QDateTime& moment, const QDateTime& now) {
    const QDateTime local = moment.toLocalTime();
    const bool isToday = local.date() == now.toLocalTime().date();
    return QLocale::c().toString(local, isToday ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

QString linkDropsText(const LinkDrops& drops, const QDateTime& now) {
    if (drops.count == 0) return QString();
    const QString when = dropTime(drops.last_at, now);
    const QString why = dropReason(drops.last);
    // After Seen the count starts again: it must not read as all the link dropped.
    const QString since = drops.counted_since.isValid()
                              ? tr("since you pressed Seen at %1").arg(dropTime(drops.counted_since, now))
                              : tr("since it connected");
    if (drops.count == 1) return tr("1 message from the codec was dropped %1, at %2: %3").arg(since, when, why);
    return tr("%1 messages from the codec were dropped %2, the last at %3: %4").arg(drops.count).arg(since, when, why);
}

namespace {

// Which figures stopped coming: "levels", "statistics", "levels and statistics"; empty for none.
QString staleFigures(const IPCObject& session) {
    if (session.state() != IQEndpointClient::READY) return QString();
    if (session.areLevelsStale() && session.areStatisticsStale()) return tr("levels and statistics");
    if (session.areLevelsStale()) return tr("levels");
    return session.areStatisticsStale() ? tr("statistics") : QString();
}

}  // namespace

QString codecHealthText(IPCObject& session) {
    QStringList lines;
    const QString fault = connectionFaultText(session.lastFault());
    if (!fault.isEmpty()) lines << tr("Last failure: %1").arg(fault);
    const QString drops = session.state() == IQEndpointClient::READY
                              ? linkDropsText(session.linkDrops(), QDateTime::currentDateTime())
                              : QString();
    if (!drops.isEmpty()) lines << drops;
    const QString stale = staleFigures(session);
    if (!stale.isEmpty()) lines << tr("The codec's %1 stopped coming: those shown are the last it sent.").arg(stale);
    return lines.join(QLatin1Char('\n'));
}

QString liveStatusText(IPCObject& session, const QString& status) {
    return staleFigures(session).isEmpty() ? status : staleStatusText(status);
}

QString staleStatusText(const QString& status) {
    // The mark first: a narrow cell cuts the end.
    return tr("Stale: %1").arg(status);
}

QString codecStatusLine(IPCObject& session) {
    if (session.state() == IQEndpointClient::READY)
        return codecHealthText(session).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString fault = connectionFaultText(session.lastFault());
    const QString state = deviceStateText(session.state());
    return fault.isEmpty() ? state : tr("%1: %2").arg(state, fault);
}
