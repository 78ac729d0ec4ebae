#include "sessions/unanswered_requests.h"

void UnansweredRequests::add(const std::string& name, int64_t sent_us, const Note& note, int64_t timeout_us,
                             uint64_t serial) {
    while (timeout_us > 0 && !requests_.empty() && sent_us - requests_.front().sent_us >= timeout_us) {
        requests_.pop_front();
    }
    requests_.push_back({name, sent_us, note, serial});
    if (requests_.size() > kMaxRequests) requests_.pop_front();
}

std::vector<UnansweredRequests::Request> UnansweredRequests::take_answered() {
    std::vector<Request> answerable(requests_.begin(), requests_.end());
    if (!requests_.empty()) requests_.pop_front();
    return answerable;
}

void UnansweredRequests::forget_read_through(uint64_t serial) {
    while (!requests_.empty() && requests_.front().serial < serial) requests_.pop_front();
}
