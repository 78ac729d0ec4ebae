#pragma once

#include <QList>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "sessions/failure_effect.h"

// The requests a session sent without "seq" whose answer has not come, oldest first, so that a
// seq-less answer can be told which request it belongs to. A codec answers in order, but it may
// leave the success of such a request unanswered ("connect", "monitor", "removePeer", ...): an
// answer can therefore be matched only while a single request is outstanding, and a request left
// unanswered for the reply time-out is taken to have succeeded and is forgotten.
//
// Threads: none of its own; the session guards it with its manager lock. Times are microseconds on
// the library's clock (ipc_now_us).
class UnansweredRequests {
public:
    // Beyond this the oldest is forgotten.
    static constexpr size_t kMaxRequests = 64;

    // What the sender wants told should the codec refuse the request: what that leaves undone of
    // the operator's action, and the ids it concerns. kNone: only the request's name is told.
    struct Note {
        FailureEffect::Kind effect = FailureEffect::kNone;
        QList<int> ids;
    };
    struct Request {
        std::string name;  // empty for an answer that could not be paired
        int64_t sent_us = 0;
        Note note;
    };

    void add(const std::string& name, int64_t sent_us, const Note& note);
    // A seq-less answer came at `now_us`. Forgets the requests older than `timeout_us` (none when
    // it is 0), then the oldest left, which this answer or an earlier silence settled. Returns that
    // request when it was the only one outstanding; one without a name otherwise.
    Request take_answered(int64_t now_us, int64_t timeout_us);
    void clear() { requests_.clear(); }

private:
    std::deque<Request> requests_;  // oldest first
};
