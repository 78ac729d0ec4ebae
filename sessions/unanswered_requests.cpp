#include "sessions/unanswered_requests.h"

#include <utility>

void UnansweredRequests::add(const std::string& name, int64_t sent_us) {
    requests_.push_back({name, sent_us});
    if (requests_.size() > kMaxRequests) requests_.pop_front();
}

std::string UnansweredRequests::take_answered(int64_t now_us, int64_t timeout_us) {
    while (timeout_us > 0 && !requests_.empty() && now_us - requests_.front().sent_us >= timeout_us) {
        requests_.pop_front();
    }
    if (requests_.empty()) return {};
    const bool is_only_one = requests_.size() == 1;
    std::string name = std::move(requests_.front().name);
    requests_.pop_front();
    return is_only_one ? name : std::string();
}
