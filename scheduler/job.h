#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimeZone>
#include <QUuid>

#include <functional>
#include <string>
#include <string_view>

#include "scheduler/booking_reason.h"

class Message;
class QDebug;

// One scheduled connection: connect one codec to one of its peers at `start`, drop the connection
// at `end`, and maybe do it again every day or every week, optionally first making the codec drop
// all its other connections. A plain value record, copied whole; the Scheduler keeps the list and
// moves each job through its states. In schedule.xml a job is one "job" element (toMessage).
struct Job {
    enum JobState { Waiting = 0, Starting = 1, Running = 2, Ending = 3, Done = 4 };
    enum JobFrequency { Once = 0, Daily = 1, Weekly = 2 };

    QDateTime start;  // local time: the connection is made from here on
    QDateTime end;    // local time: the connection is dropped from here on
    JobState state = Waiting;
    QUuid uuid;             // instance key of the codec's session; made anew each run, never stored
    bool priority = false;  // force: the codec drops all its connections before the connect
    int id = 0;             // this run's job id (Scheduler::nextJobId); not stored
    QString peer;           // the peer's id on the codec, decimal text (isPeerId) in normalPeerId's form
    JobFrequency frequency = Once;
    QDateTime recurrence_end;  // no further occurrence starts after it, unless repeat_forever
    bool repeat_forever = false;

    // The wall-clock times the operator chose; invalid means start.time() and end.time(). They
    // differ from those only where daylight saving moved an occurrence (02:30 in a spring-forward
    // gap runs at 03:30): each daily or weekly step, and the file, start from the chosen times again.
    QTime start_clock;
    QTime end_clock;
    // The codec's address and port as the job was made or loaded with them: the file names the
    // codec by these, also after the codec has left the fleet. Empty and 0 until known.
    QString host;
    int port = 0;
    // The peer as it was chosen: a codec may give a removed peer's id to a new one, and the job is
    // for the peer, not the id. Both empty for a job from a file that did not keep them: its peer is
    // then known by its id alone.
    QString peer_name;
    QString peer_address;  // host part, as the codec's peer list gives it; empty for a directory peer
    // When a pass first saw this occurrence's call up, made or found; invalid until then. Kept in
    // the file: a call that came up for an occurrence and went is not dialled again in its window,
    // also after a restart.
    QDateTime connected_at;
    // When this occurrence, being forced, made room for its call; invalid until then. Kept in the
    // file, so that an occurrence forces once, also across a restart.
    QDateTime forced_at;
    // When a pass last saw its call up after a later occurrence of its series had opened inside its
    // window (a window longer than its period); invalid until then. Handed on with the series: that
    // occurrence had its call from its own start, and is not dialled again in its window. Kept in
    // the file.
    QDateTime later_call_seen_at;
    // When its call, up in its window, was seen gone while the window was still open (a far end
    // or an operator hung up); invalid while it is up or never was. Kept in the file, so that its
    // end can say when, also after a restart.
    QDateTime call_ended_at;

    // Why its call could not be made so far in this occurrence (a peer that another now has the id
    // of, a refused connect); none when nothing stood in its way. Kept in the file, so that an
    // occurrence missed while the program was closed says why.
    BookingReason wait_reason;

    // About the current occurrence only; never stored.
    QString warning;             // what its row says: why it waits or was missed; empty while nothing is wrong
    BookingReason shown_reason;  // the reason `warning` words, if it words one (showReason)
    // Its warning is the wait_reason the file kept, not yet said in this run's log.
    bool is_wait_reason_unsaid = false;
    bool has_sent_connect = false;      // a "connect" went out for it
    bool has_operator_connect = false;  // the operator's "connect" joined it in its window
    QString connect_refusal;            // the codec's words refusing its last connect; empty: none refused
    QString end_refusal;                // the codec's words refusing to end its call after its end; empty: none refused
    // The refusal answered its connect alone; otherwise it may have answered another connect of
    // the schedule's, and is said as what it may be.
    bool is_connect_refusal_sure = false;
    // Forced: the peers whose calls were up as it made its room, and the codec's words refusing to
    // end one of them (empty: none refused). Said on its row while one of those calls is still up.
    QStringList forced_others;
    QString force_refusal;
    // Its call was ended by a forced connection: that connection's peer, as its row names it.
    QString ended_by_force;
    bool is_force_end_logged = false;
    // It was finished but its next occurrence was refused: kept pending, it is finished again at the
    // next pass, neither missed nor logged a second time.
    bool is_next_refused = false;
    QDateTime finished_at;  // when a pass made it Done; the record is dropped a day later
    // The id in this run of the occurrence its finish added, which carries its series on; -1 for none.
    int next_occurrence_id = -1;

    // "Waiting", "Starting", "Running", "Ending", "Done"; empty for any other value.
    static QString stateName(int state);
    // "none", "daily", "weekly"; empty for any other value.
    static QString frequencyName(int frequency);
    // Exactly "daily" or "weekly" (case matters); everything else is Once.
    static JobFrequency frequencyFromName(const QString& name);
    // The schedule window's "Recurrence" column: "None", or "Daily, " / "Weekly, " followed by
    // "forever" or "until <recurrence end in the system locale's long form>".
    static QString recurrenceText(const Job& job);
    // A peer id that may go to the codec: decimal digits only, within int range. Anything else
    // would be sent as "disconnect id=0", which may name another peer.
    static bool isPeerId(const QString& peer);
    // A peer id in one form, "5" for "005": the codec's peer list, which confirms the call, writes
    // it so. Anything that is no peer id is returned as it is.
    static QString normalPeerId(const QString& peer);

    bool hasPeerIdentity() const { return !peer_name.isEmpty() || !peer_address.isEmpty(); }
    // The peer as the codec's peer list names it: {id, name, address}.
    QStringList peerIdentity() const { return {peer, peer_name, peer_address}; }
    // Its call came up in this occurrence: a connect that went out and was not seen to take is
    // no call.
    bool hasHadCall() const { return connected_at.isValid(); }
    // What its row says: a reason, in its words, or any other status.
    void showReason(const BookingReason& reason) {
        warning = reason.words();
        shown_reason = reason;
    }
    void showStatus(const QString& status) {
        warning = status;
        shown_reason = BookingReason();
    }

    // Inclusive comparisons with `now`, as the tick makes them.
    bool startReached(const QDateTime& now) const { return now >= start; }
    bool endReached(const QDateTime& now) const { return now >= end; }
    bool isOpen(const QDateTime& now) const { return startReached(now) && !endReached(now); }
    bool recurrenceOver(const QDateTime& now) const { return !repeat_forever && now >= recurrence_end; }
    // Waiting, with nothing about a previous occurrence kept.
    void restartOccurrence();

    QTime startClock() const { return start_clock.isValid() ? start_clock : start.time(); }
    QTime endClock() const { return end_clock.isValid() ? end_clock : end.time(); }
    // Sets the chosen times and the start and end they give on those dates (localDateTime). Where
    // daylight saving leaves the end not after the start, the end keeps the window's wall-clock
    // length from the start instead.
    void setWindow(const QDate& start_date, const QTime& start_time, const QDate& end_date, const QTime& end_time);

    // Reads "start", "end", "priority", "peer" (normalPeerId), "peer_name", "peer_addr",
    // "connected", "call_ended", "forced", "later_call_seen", "recurrence_end", "repeat_forever", "frequency",
    // "wait", "wait_peer" and "wait_detail" (or, as older versions wrote it, "wait_reason": its words)
    // of a "job" element; missing
    // attributes give the defaults, unreadable dates invalid ones. state, uuid, id, host and port
    // stay as they are. The times are read in `written_in` when it is valid (a file written under
    // another time zone), else as local times.
    void fromMessage(const Message& element, const QTimeZone& written_in = QTimeZone());
    // The attributes of this job's "job" element, each handed to `visit` as a name and its UTF-8
    // text, in name order (as the message writer puts them): "ip" and "port" from host and port;
    // "peer_name", "peer_addr", "connected", "forced", "later_call_seen" and the "wait" reason only when
    // known, so that a file without them stays as older versions wrote it; likewise "call_ended".
    // `is_spelt_out` says the text is the program's own (digits, English names, "true"), with nothing
    // in it to escape; a peer's name or address is not.
    using AttributeVisitor = std::function<void(const char* name, std::string_view text, bool is_spelt_out)>;
    void visitAttributes(const AttributeVisitor& visit) const;
    // Hands `value` to `visit` as UTF-8, made in `buffer`: a visit of thousands of jobs allocates
    // nothing for each.
    static void visitText(const AttributeVisitor& visit, const char* name, const QString& value, std::string& buffer);
    // visitAttributes into a "job" element.
    void toMessage(Message& element) const;

    // The file's date form, "Mon Apr 1 02:30:00 2024", in English whatever the locale; appended as
    // UTF-8 by the writer of the file, which writes thousands of them.
    static QString dateText(const QDate& date, const QTime& time);
    static void appendDateText(std::string& out, const QDate& date, const QTime& time);
    // Reads dateText's form back; false when `text` is not in it.
    static bool parseDateText(const QString& text, QDate& date, QTime& time);
};

// Job(uuid: {…} start: … , end: … ,\n recurEnd: … , peer_id: … , forever: … , frequency: … , state: … )
QDebug operator<<(QDebug debug, const Job& job);
