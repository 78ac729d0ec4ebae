#include "sessions/unanswered_requests.h"

#include <utility>

void UnansweredRequests::add(const std::string& name, int64_t sent_us, const Note& note) {
    requests_.push_back({name, sent_us, note});
    if (requests_.size() > kMaxRequests) requests_.pop_front();
}

UnansweredRequests::Request UnansweredRequests::take_answered(int64_t now_us, int64_t timeout_us) {
    while (timeout_us > 0 && !requests_.empty() && now_us - requests_.front().sent_us >= timeout_us) {
        requests_.pop_front();
    }
    if (requests_.empty()) return {};
    const bool is_only_one = requests_.size() == 1;
    Request answered = std::move(requests_.front());
    requests_.pop_front();
    return is_only_one ? answered : Request{};
}
