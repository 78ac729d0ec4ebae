#pragma once

#include <algorithm>
#include <deque>
#include <optional>
#include <vector>

// The requests of one seq that a session sent and whose answers have not come, oldest first, each
// with the id it names and a `Note` of what its answer decides. Every such request gets one answer,
// but a codec may answer them out of order, and the answers of one seq look alike: an answer is
// paired surely only when it names the id of exactly one awaited request, or when its request is
// the only one awaited and no answer has been paired by guess since the queue was last empty. Any
// other answer settles a request by guess (the one it names, else the oldest), and the caller
// learns every request it may have answered, so that it does nothing it could not undo.
//
// Threads: none of its own; the session guards it with its mutex.
template <typename Note>
class AwaitedAnswers {
public:
    struct Request {
        int id = 0;
        Note note;
    };
    struct Pairing {
        std::optional<Request> settled;  // the request taken as answered; none when none was awaited
        bool is_sure = false;
        // Unless `is_sure`: every request the answer may belong to, `settled` among them.
        std::vector<Request> candidates;
    };

    void add(int id, Note note) { requests_.push_back({id, std::move(note)}); }
    // The newest request was not sent after all.
    void drop_newest() {
        if (!requests_.empty()) requests_.pop_back();
    }
    void clear() {
        requests_.clear();
        is_guessing_ = false;
    }

    // An answer has come; `named_id` is the id it names, if any.
    Pairing take(std::optional<int> named_id) {
        Pairing pairing;
        if (requests_.empty()) return pairing;
        auto answered = requests_.begin();
        if (named_id) {
            const auto names_it = [&](const Request& each) { return each.id == *named_id; };
            answered = std::find_if(requests_.begin(), requests_.end(), names_it);
            pairing.is_sure = std::count_if(requests_.begin(), requests_.end(), names_it) == 1;
            if (answered == requests_.end()) answered = requests_.begin();
        } else {
            pairing.is_sure = requests_.size() == 1 && !is_guessing_;
        }
        if (!pairing.is_sure) {
            pairing.candidates.assign(requests_.begin(), requests_.end());
            is_guessing_ = true;
        }
        pairing.settled = std::move(*answered);
        requests_.erase(answered);
        if (requests_.empty()) is_guessing_ = false;
        return pairing;
    }

private:
    std::deque<Request> requests_;
    bool is_guessing_ = false;  // an answer was paired by guess since the queue was last empty
};
