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

std::optional<RequestsInFlight::Request> RequestsInFlight::overdue(int64_t now_us, int64_t arriving_us) const {
    for (const Request& request : requests_) {
        if (request.seq.empty()) continue;
        const int64_t waited_us = (now_us - request.sent_us) - (arriving_us - request.arriving_at_send_us);
        if (waited_us >= deadline_us_) return request;
        return std::nullopt;  // the oldest with seq has not waited long enough, so no later one has
    }
    return std::nullopt;
}

std::optional<RequestsInFlight::Request> RequestsInFlight::oldest_asked() const {
    const auto asked = std::find_if(requests_.begin(), requests_.end(),
                                    [](const Request& request) { return request.note.asked != nullptr; });
    if (asked == requests_.end()) return std::nullopt;
    return *asked;
}

std::vector<std::shared_ptr<const Message>> RequestsInFlight::reads() const {
    std::vector<std::shared_ptr<const Message>> reads;
    for (const Request& request : requests_) {
        if (request.read) reads.push_back(request.read);
    }
    return reads;
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
