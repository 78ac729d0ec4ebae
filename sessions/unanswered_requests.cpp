#include "sessions/unanswered_requests.h"

#include <algorithm>

bool UnansweredRequests::add(const std::string& name, int64_t sent_us, const Note& note, int64_t timeout_us,
                             uint64_t serial) {
    while (timeout_us > 0 && !requests_.empty() && sent_us - requests_.front().sent_us >= timeout_us) {
        requests_.pop_front();
    }
    if (requests_.size() >= kMaxRequests) return false;
    requests_.push_back({name, sent_us, note, serial});
    return true;
}

std::vector<UnansweredRequests::Request> UnansweredRequests::take_answered(uint64_t answered_before) {
    // Kept in the order sent: those sent before the bound come first.
    const auto sent_after = std::find_if(requests_.begin(), requests_.end(), [answered_before](const Request& request) {
        return request.serial >= answered_before;
    });
    std::vector<Request> answerable(requests_.begin(), sent_after);
    if (!answerable.empty()) requests_.pop_front();
    return answerable;
}

void UnansweredRequests::forget_read_through(uint64_t serial) {
    while (!requests_.empty() && requests_.front().serial < serial) requests_.pop_front();
}
