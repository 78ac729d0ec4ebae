#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "scheduler/job.h"

class Message;

// A call the schedule made or took, and so ends when no booking wants it any more; a call it does
// not hold is never cut. Kept in schedule.xml beside the jobs, so that after a restart the schedule
// knows exactly which calls are its own. A plain value record.
struct HeldCall {
    // The peer as it was when the call was made or taken, as Job::peer_name and Job::peer_address;
    // both empty for a call of a booking that knows its peer by id alone.
    QString peer_name;
    QString peer_address;
    QDateTime since;
    enum class Disconnect {
        kNone,
        kSent,       // no booking wanted it, and its disconnect went out
        kOverruled,  // a booking wants it again since: for one pass the codec may still act on it
    };

    // A dial is the schedule's own until it settles: seen up (then it is held as any call), or
    // nothing of it left on its way. A connect that drew no refusal may ring its far end for as
    // long as that far end takes, and a connect sent again would make some codecs ring anew (a far
    // end slower than a pass would never answer) and others refuse it (their one channel is busy
    // with this very dial). So it is not sent again until its dial settles or this many passes of
    // its ready codec have passed since (the dial's bound): two minutes of ten-second passes, which
    // a slow far end fits in. Counted in passes of a ready codec, not in time, so that a codec away,
    // or a program closed, while the far end answers does not settle it. The bound says only when a
    // connect may go again: a far end may answer after it all the same.
    static constexpr int kDialSettlePasses = 12;
    // A dial that no open window wants and that has not come up is stopped with a disconnect,
    // however long ago its last connect went. A stop the codec read without refusing it settles the
    // dial: a call seen up after that is someone else's. Where the stop was refused, may have been,
    // or was never read, a call seen up within this many passes of its ready codec came up late and
    // is ended; one seen up later may as well be a call made at the codec's own panel, which is not
    // the schedule's to cut.
    static constexpr int kLateAnswerPasses = 2;
    // A refused disconnect is sent again after this long, doubling each time up to the most; a
    // retry due within half a pass of a pass goes in that pass.
    static constexpr int kFirstDisconnectRetrySecs = 10;
    static constexpr int kMaxDisconnectRetrySecs = 300;
    static constexpr int kRetrySlackMs = 5000;
    // A late call whose disconnect the codec refused this many times (over about ten minutes) is
    // given up on: it stays up, and is no longer the schedule's to cut hours later.
    static constexpr int kMaxLateDisconnectRefusals = 6;

    bool is_seen_up = false;  // seen up in the codec's list; until then only its connect went out
    // When its last connect went out; invalid for a call taken as found. Kept in the file while the
    // call is not seen up, so that a dial stays the schedule's across a restart.
    QDateTime dialled_at;
    // When the connect went out that its dial has waited for since: a connect sent again once the
    // dial's bound passed keeps it. Kept in the file with the dial.
    QDateTime ringing_since;
    // The peer's name as the codec's list gave it when dialled, for a booking that knows its peer
    // by id alone: the lines about the dial name it before the codec's list is in. Kept in the
    // file with the dial.
    QString dialled_name;
    // Passes of its ready codec since the last connect that drew no refusal, which may still be
    // ringing, however long ago; -1 when none may. Never stored: after a restart a dial may be on
    // its way again.
    int flight_passes = -1;
    int flight_passes_before_connect = -1;  // what a refusal of the last connect gives back
    bool is_connect_refused = false;        // a refusal that answered its last connect alone
    // Since the last connect its codec left READY, or was told to drop every call: what rang may be
    // gone, and the next pass may dial again, as it would a dial never sent.
    bool is_connect_lost = false;
    // Its windows closed before it came up, and a disconnect went out to stop its connect. That
    // settles nothing: a codec may complete the connect all the same.
    bool is_dial_stopped = false;
    int stopped_passes = 0;  // passes of its ready codec since the stop that did not show it up
    // Its stop was refused, may have been, or its link went before the codec read it: what rang
    // may still come up, and is ended as late within kLateAnswerPasses.
    bool is_stop_unsure = false;
    // The operator's connect, made shortly before a window of its peer opens: the window waits for
    // it as for its own dial. Until the window opens the call is the operator's alone: never
    // stopped nor ended, and let go should no window want it. From the pass in which the window
    // takes it, it is the window's dial as any: sent again by its bound, and stopped at its end.
    bool is_awaiting_window = false;
    // Its last connect was the operator's (taken as the dial), and the codec has not refused it.
    bool is_operators_connect = false;
    // Up before its window opened, made by hand (the operator's connect, or at the codec's panel),
    // and taken by the booking: its end is said.
    bool is_made_by_hand = false;
    // It came up after its windows had closed: ended, and said so.
    bool is_late = false;
    // The operator connected it while a window of its peer was open: the call joined the booking.
    bool is_joined_by_operator = false;
    Disconnect disconnect = Disconnect::kNone;
    QString refusal;        // why the codec refused its disconnect; empty when it did not
    int refusal_count = 0;  // how often the codec refused it
    bool is_refusal_said = false;
    QDateTime disconnect_sent_at;   // the last disconnect, while a refusal holds the next one back
    int disconnect_retry_secs = 0;  // after a refusal, how long the next disconnect waits
    // A late call whose end the codec refused: the window of the row that tells of it, so that the
    // row is there again after a restart, for the operator to remove and so end the retries. Kept
    // in the file with the refusal.
    QDateTime late_row_start;
    QDateTime late_row_end;
    // Said in the codec's log once its list shows the call gone after the disconnect; empty: nothing.
    QString ended_line;

    // A connect went out for it, from the schedule or from the operator (`is_operators`).
    void noteConnectSent(const QDateTime& now, bool is_operators = false);
    // The codec refused its last connect, that connect alone: an earlier one may still be ringing.
    void noteConnectRefused();
    // A pass of its ready codec in which it was not seen up.
    void countUnseenPass();
    // A connect of it that drew no refusal may still be ringing.
    bool mayBeRinging() const { return flight_passes >= 0; }
    // Such a connect went within the bound: it is waited for rather than sent again.
    bool isConnectInFlight() const { return mayBeRinging() && flight_passes < kDialSettlePasses; }
    // A pass may send its connect: none went yet, the last was refused, its codec came back since,
    // it was told to stop (a window opened since), or nothing rang within the bound.
    bool mayDialAgain() const {
        return !dialled_at.isValid() || is_connect_lost || is_dial_stopped || !isConnectInFlight();
    }
    // Not seen up yet, and something of it may still be on its way, past the bound too.
    bool isDialUnsettled() const {
        return !is_seen_up && mayBeRinging() && (!is_dial_stopped || stopped_passes <= kLateAnswerPasses);
    }
    // Its disconnect is not held back by the codec's last refusal.
    bool mayDisconnectAt(const QDateTime& now) const {
        return refusal.isEmpty() || !disconnect_sent_at.isValid() ||
               disconnect_sent_at.addSecs(disconnect_retry_secs) <= now.addMSecs(kRetrySlackMs);
    }
    // A late call the codec would not end, given up on (kMaxLateDisconnectRefusals).
    bool isGivenUp() const { return is_late && refusal_count >= kMaxLateDisconnectRefusals; }
    // The dial's connect went out again only because nothing came within the bound.
    bool isResent() const { return ringing_since.isValid() && dialled_at > ringing_since; }
    void noteDisconnectSent(const QDateTime& now);
    void noteDisconnectRefused(const QString& reason);
    // Up and wanted again: whatever its release was, is over.
    void noteHeld();

    bool hasPeerIdentity() const { return !peer_name.isEmpty() || !peer_address.isEmpty(); }
    // The call is of this peer ({id, name, address}, as Job::peerIdentity): the same one, or one of
    // the two is known by its id alone.
    bool isOf(const QStringList& identity) const;

    // The attributes of its "call" element, as Job::visitAttributes hands a job's: the codec's "ip"
    // and "port", "dialled", "dialled_name" and "ringing_since" (while not seen up), "late",
    // "refusal" and "refusals" (a late call, and its disconnect's refusals), "peer", "peer_addr"
    // and "peer_name" (when known), "row_end" and "row_start" (a late call's row) and "since".
    void visitAttributes(const QString& host, int port, const QString& peer, const Job::AttributeVisitor& visit) const;
    // False when the element has no valid "since" or no peer id; `peer` in Job::normalPeerId's form.
    // "since" and "dialled" are read as Job::fromMessage reads its times; a call without "dialled"
    // (one seen up, or from a file written before dials were kept) counts as seen up.
    bool fromMessage(const Message& element, QString& peer, const QTimeZone& written_in = QTimeZone());
};
