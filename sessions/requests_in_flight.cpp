#include "sessions/requests_in_flight.h"

#include <algorithm>
#include <utility>

void RequestsInFlight::add(Request request) {
    requests_.push_back(std::move(request));
    if (requests_.size() > kMaxRequests) requests_.pop_front();
}

RequestsInFlight::Settlement RequestsInFlight::settle(const std::string& seq) {
    Settlement settlement;
    const auto answered =
        std::find_if(requests_.begin(), requests_.end(), [&seq](const Request& request) { return request.seq == seq; });
    if (answered == requests_.end()) return settlement;
    if (!seq.empty()) settlement.read_through = answered->serial;
    std::deque<Request> left;
    for (auto it = requests_.begin(); it != requests_.end(); ++it) {
        // Read before the answered one, in order: those without seq are settled with it.
        const bool is_settled = it == answered || (it < answered && !seq.empty() && it->seq.empty());
        if (!is_settled) {
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

std::optional<RequestsInFlight::Request> RequestsInFlight::overdue(int64_t now_us) const {
    for (const Request& request : requests_) {
        if (request.seq.empty()) continue;
        if (now_us - request.sent_us >= deadline_us_) return request;
        return std::nullopt;  // the oldest with seq is not overdue, so no later one is
    }
    return std::nullopt;
}

bool RequestsInFlight::awaits(const std::string& seq) const {
    return std::any_of(requests_.begin(), requests_.end(),
                       [&seq](const Request& request) { return request.seq == seq; });
}

std::vector<RequestsInFlight::Request> RequestsInFlight::take_all() {
    std::vector<Request> all(std::make_move_iterator(requests_.begin()), std::make_move_iterator(requests_.end()));
    requests_.clear();
    return all;
}
