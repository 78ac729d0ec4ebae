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
// lost in a dropped frame.
//
// Threads: none of its own; the session guards it with its manager lock. Times are microseconds
// on the library's clock (ipc_now_us).
class RequestsInFlight {
public:
    // Longer than any answer takes: by default a request with seq unanswered this long fails the
    // connection.
    static constexpr int64_t kAnswerDeadlineUs = 15'000'000;
    // Beyond this the oldest is forgotten (a codec that never answers one kind of request).
    static constexpr size_t kMaxRequests = 256;

    struct Request {
        std::string name;
        std::string seq;  // empty: sent without one
        int64_t sent_us = 0;
        UnansweredRequests::Note note;        // its `asked`: the operator asked for it
        uint64_t serial = 0;                  // the order the session sent it in
        int64_t arriving_at_send_us = 0;      // the connection's arriving_frames_us() as it went
        std::shared_ptr<const Message> read;  // a read's message, to ask again; null for others
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

    void add(Request request);
    // An answer came with `seq` (empty for one without): the oldest request it may answer is
    // settled, with every request without seq sent before it.
    Settlement settle(const std::string& seq);
    // The oldest request with seq that has waited at least the deadline by `now_us`, the time spent
    // on frames still arriving (`arriving_us` now) aside; none when none.
    std::optional<Request> overdue(int64_t now_us, int64_t arriving_us) const;
    // The operator's oldest request still unsettled; none when none.
    std::optional<Request> oldest_asked() const;
    // The messages of the reads not settled yet, oldest first.
    std::vector<std::shared_ptr<const Message>> reads() const;
    bool empty() const { return requests_.empty(); }
    int64_t deadline_us() const { return deadline_us_; }
    void set_deadline_us(int64_t deadline_us) { deadline_us_ = deadline_us; }
    bool awaits(const std::string& seq) const;
    // Every request not settled, oldest first; none is kept.
    std::vector<Request> take_all();
    void clear() { requests_.clear(); }

private:
    std::deque<Request> requests_;  // oldest first
    int64_t deadline_us_ = kAnswerDeadlineUs;
};
