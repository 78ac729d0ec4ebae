#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ipc/message/message.h"
#include "sessions/unanswered_requests.h"

// The requests a session sent on its connection that no answer has settled yet, oldest first: what
// the operator is told of when the link is lost before they were answered, what fails a link that
// carries reports but no answers, and what the editors show as pending.
//
// A request with "seq" is settled by its answer. A codec leaves the success of a request without
// seq unanswered, but it reads and answers in order: the answer to any request sent after one
// shows that the codec read it, which settles it. The session follows each operator's command
// without seq with a "ping", so that it is settled within one round trip.
//
// The time a connection spent receiving frames still arriving (IPCConn::arriving_frames_us) does
// not count toward a request's deadline: an answer behind a large one over a slow link is not late.
// A read (a request that only fetches) keeps its message, to be asked again should its answer be
// lost in a dropped frame. The copy asked again is a request of its own, at its own place in the
// order: the codec answers the copy too, where it reads it, so an answer of that seq is that of the
// oldest request awaiting one, copies included, and never settles a later request, nor what was
// sent before that, while an earlier one of its seq still awaits its answer. Once asked again, the
// original's answer may never come (it may have been in the dropped frame), while the copy's
// surely does and carries the deadline. Should the original's have been lost, the one answer that
// comes settles the original, and the copy's place is then taken by the next answer of that seq,
// which may be a later request's own: so every later request of that seq may have had its answer
// come as another's (may_go_unanswered); such a request sets no deadline, and goes with the answer
// to anything sent after it. Reading
// through less than the codec did keeps a command awaited a little longer; taking an answer that
// did come for one lost would fail a healthy link.
//
// Threads: none of its own; the session guards it with its manager lock. Times are microseconds
// on the library's clock (ipc_now_us).
class RequestsInFlight {
public:
    // Longer than any answer takes: by default a request with seq unanswered this long fails the
    // connection.
    static constexpr int64_t kAnswerDeadlineUs = 15'000'000;
    // Beyond this nothing more is kept (add): a codec that has left this many unanswered fails its
    // link at the deadline.
    static constexpr size_t kMaxRequests = 256;

    struct Request {
        std::string name;
        std::string seq;  // empty: sent without one
        int64_t sent_us = 0;
        UnansweredRequests::Note note;        // its `asked`: the operator asked for it
        uint64_t serial = 0;                  // the order the session sent it in
        int64_t arriving_at_send_us = 0;      // the connection's arriving_frames_us() as it went
        std::shared_ptr<const Message> read;  // a read's message, to ask again; null for others
        // Its answer may never come, or may have come as another's: a read asked again, or one
        // whose answer an earlier copy of its seq may have taken. It sets no deadline and no
        // bound (oldest_awaited_serial), and is settled by its seq's next answer or by the
        // answer to anything sent after it.
        bool may_go_unanswered = false;
    };
    // What one answer settled.
    struct Settlement {
        bool is_operators = false;  // an operator's request was among them
        // The serial of the request with seq it answered: the codec has read every request sent
        // before that one. 0 for an answer without seq, which cannot be told whose it is.
        uint64_t read_through = 0;
        // The requests without seq it settled whose reading is told (the operator's, and those
        // noted `is_reading_told`), oldest first.
        std::vector<Request> commands_read;
    };

    // False, keeping nothing, when it cannot keep `count` more (has_room): such a request is not
    // sent.
    bool add(Request request);
    bool has_room(size_t count) const { return requests_.size() + count <= kMaxRequests; }
    // An answer came with `seq`: the oldest request of that seq is settled, with every request sent
    // before it that has no seq or may go unanswered. An answer without seq settles the oldest
    // request without one, unless a request whose answer surely comes went before it: the answer
    // is then an earlier one's.
    Settlement settle(const std::string& seq);
    // The serial of the oldest request with seq whose answer surely comes: the codec answers in
    // order, so an answer without seq that comes before that one's answers a request sent before
    // it. UnansweredRequests::kUnbounded when none awaits.
    uint64_t oldest_awaited_serial() const;
    // The oldest request with seq whose answer surely comes that has waited at least the deadline
    // by `now_us`, the time spent on frames still arriving (`arriving_us` now) aside; none when
    // none.
    std::optional<Request> overdue(int64_t now_us, int64_t arriving_us) const;
    // When overdue() may first find one: the earliest deadline of a request whose answer surely
    // comes, counted from its sending (time on frames still arriving only moves it later); none:
    // INT64_MAX.
    int64_t next_deadline_us() const;
    // The operator's oldest request still unsettled; none when none.
    std::optional<Request> oldest_asked() const;
    // Each read whose answer surely comes is asked again: from now on it may go unanswered, and its
    // copy, kept as sent with the next serials (`next_serial` moves on), keeps its deadline. Returns
    // the messages to send, oldest first; only as many as there is room for.
    std::vector<std::shared_ptr<const Message>> ask_reads_again(uint64_t& next_serial);
    // Some request with seq whose answer surely comes: a command without seq is read with the
    // answer to the ping behind it.
    bool awaits_any() const;
    int64_t deadline_us() const { return deadline_us_; }
    void set_deadline_us(int64_t deadline_us) { deadline_us_ = deadline_us; }
    // A request of `seq` whose answer surely comes.
    bool awaits(const std::string& seq) const;
    // Every request not settled, oldest first; none is kept.
    std::vector<Request> take_all();
    void clear() { requests_.clear(); }

private:
    std::deque<Request> requests_;  // oldest first
    int64_t deadline_us_ = kAnswerDeadlineUs;
};
