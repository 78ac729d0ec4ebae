#pragma once

#include <QList>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sessions/failure_effect.h"

// The requests a session sent without "seq" whose answer has not come, oldest first, so that a
// seq-less answer can be told which requests it may belong to. A codec answers in order, but it
// may leave the success of such a request unanswered ("connect", "monitor", "removePeer", ...), so
// an answer may be that of any request still awaited that was sent before the oldest request whose
// answer by seq has not come (the "ping" that follows each command of the operator's and the
// scheduler's): it is paired with one only while that one alone is. Where the session cannot tell
// what the codec has answered (a legacy codec, before the login), a request is taken to have
// succeeded, and forgotten, once its reply time-out has passed when the next one goes.
//
// Threads: none of its own; the session guards it with its manager lock. Times are microseconds on
// the library's clock (ipc_now_us).
class UnansweredRequests {
public:
    // Beyond this nothing more is kept (add).
    static constexpr size_t kMaxRequests = 64;
    // No request with seq awaits its answer: an answer may be any awaited request's.
    static constexpr uint64_t kUnbounded = UINT64_MAX;

    // What the sender wants told should the codec refuse the request: what that leaves undone of
    // the operator's action, and the ids it concerns (kNone: only the request is told), and the
    // operator's request it is (null: the program's own, told to no one).
    struct Note {
        FailureEffect::Kind effect = FailureEffect::kNone;
        QList<int> ids;
        const session_requests::OperatorRequest* asked = nullptr;
        // The sender wants to hear once the codec has read it (the scheduler's commands), as the
        // operator's commands are followed.
        bool is_reading_told = false;
    };
    struct Request {
        std::string name;
        int64_t sent_us = 0;
        Note note;
        uint64_t serial = 0;  // the order the session sent its requests in, with seq or without
    };

    // A request goes at `sent_us`; those sent `timeout_us` or more before it (none when it is 0)
    // are taken to have succeeded. False, keeping nothing, when kMaxRequests are awaited still.
    bool add(const std::string& name, int64_t sent_us, const Note& note, int64_t timeout_us, uint64_t serial = 0);
    // The answer to the request sent as `serial` came: the codec read every request sent before it,
    // and any refusal of theirs has come already, so none is awaited any more.
    void forget_read_through(uint64_t serial);
    // A seq-less answer came before the answer to the request sent as `answered_before`. Returns
    // the requests sent before that one it may answer, oldest first: exactly one when it can be
    // paired, none when no such request awaited an answer. The oldest is forgotten, since this
    // answer or an earlier silence settled it.
    std::vector<Request> take_answered(uint64_t answered_before = kUnbounded);
    void clear() { requests_.clear(); }

private:
    std::deque<Request> requests_;  // oldest first
};
