#include "sessions/requests_in_flight.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

namespace {

bool is_surely_answered(const RequestsInFlight::Request& request) {
    return !request.may_go_unanswered;
}

// A request with seq whose answer surely comes: it carries the deadline. A command without seq is
// read with the answer to the ping behind it.
bool carries_deadline(const RequestsInFlight::Request& request) {
    return !request.seq.empty() && is_surely_answered(request);
}

}  // namespace

bool RequestsInFlight::add(Request request) {
    if (!has_room(1)) return false;
    requests_.push_back(std::move(request));
    return true;
}

RequestsInFlight::Settlement RequestsInFlight::settle(const std::string& seq) {
    Settlement settlement;
    const auto answered = std::find_if(requests_.begin(), requests_.end(), [&seq](const Request& request) {
        return request.seq == seq || (seq.empty() && is_surely_answered(request));
    });
    if (answered == requests_.end() || answered->seq != seq) return settlement;
    if (!seq.empty()) settlement.read_through = answered->serial;
    if (answered->may_go_unanswered) {
        // The answer may have been any later one's of its seq, should earlier answers have been
        // lost: none of them may fail the link for want of it.
        for (auto later = std::next(answered); later != requests_.end(); ++later) {
            if (later->seq == seq) later->may_go_unanswered = true;
        }
    }
    std::deque<Request> left;
    for (auto it = requests_.begin(); it != requests_.end(); ++it) {
        // Read before the answered one, in order: any answer of theirs has come, or never will.
        const bool is_passed = it < answered && !seq.empty() && (it->seq.empty() || it->may_go_unanswered);
        if (it != answered && !is_passed) {
            left.push_back(std::move(*it));
            continue;
        }
        const bool is_operators = it->note.asked != nullptr;
        settlement.is_operators = settlement.is_operators || is_operators;
        if (it->seq.empty() && (is_operators || it->note.is_reading_told)) settlement.commands_read.push_back(*it);
    }
    requests_ = std::move(left);
    return settlement;
}

uint64_t RequestsInFlight::oldest_awaited_serial() const {
    const auto awaited = std::find_if(requests_.begin(), requests_.end(), carries_deadline);
    return awaited == requests_.end() ? UnansweredRequests::kUnbounded : awaited->serial;
}

std::optional<RequestsInFlight::Request> RequestsInFlight::overdue(int64_t now_us, int64_t arriving_us) const {
    // A copy asked again keeps the deadline of the request it stands for: the oldest is not always
    // the first.
    for (const Request& request : requests_) {
        if (!carries_deadline(request)) continue;
        const int64_t waited_us = (now_us - request.sent_us) - (arriving_us - request.arriving_at_send_us);
        if (waited_us >= deadline_us_) return request;
    }
    return std::nullopt;
}

int64_t RequestsInFlight::next_deadline_us() const {
    int64_t due_us = std::numeric_limits<int64_t>::max();
    for (const Request& request : requests_) {
        if (carries_deadline(request)) due_us = std::min(due_us, request.sent_us + deadline_us_);
    }
    return due_us;
}

std::optional<RequestsInFlight::Request> RequestsInFlight::oldest_asked() const {
    const auto asked = std::find_if(requests_.begin(), requests_.end(),
                                    [](const Request& request) { return request.note.asked != nullptr; });
    if (asked == requests_.end()) return std::nullopt;
    return *asked;
}

std::vector<std::shared_ptr<const Message>> RequestsInFlight::ask_reads_again(uint64_t& next_serial) {
    std::vector<std::shared_ptr<const Message>> reads;
    const size_t count = requests_.size();
    for (size_t i = 0; i < count && has_room(1); ++i) {
        Request& original = requests_[i];
        if (!original.read || !is_surely_answered(original)) continue;
        original.may_go_unanswered = true;
        Request copy = original;  // with its sent time: the deadline holds
        copy.may_go_unanswered = false;
        copy.serial = next_serial++;
        reads.push_back(copy.read);
        requests_.push_back(std::move(copy));
    }
    return reads;
}

bool RequestsInFlight::awaits_any() const {
    return std::any_of(requests_.begin(), requests_.end(), carries_deadline);
}

bool RequestsInFlight::awaits(const std::string& seq) const {
    return std::any_of(requests_.begin(), requests_.end(),
                       [&seq](const Request& request) { return request.seq == seq && is_surely_answered(request); });
}

std::vector<RequestsInFlight::Request> RequestsInFlight::take_all() {
    std::vector<Request> all(std::make_move_iterator(requests_.begin()), std::make_move_iterator(requests_.end()));
    requests_.clear();
    return all;
}
