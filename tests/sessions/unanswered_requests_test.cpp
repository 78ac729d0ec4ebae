#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sessions/unanswered_requests.h"

namespace {

constexpr int64_t kSecond = 1000000;
constexpr int64_t kTimeout = 7 * kSecond;

struct AnswerCase {
    const char* what;
    std::vector<std::pair<const char*, int64_t>> sent;  // name, second sent
    int64_t answered_s;
    const char* named;
};
const AnswerCase kAnswers[] = {
    {"the only one awaited", {{"removePeer", 0}}, 1, "removePeer"},
    {"none awaited", {}, 1, ""},
    {"a success may have gone unanswered", {{"connect", 0}, {"removePeer", 1}}, 2, ""},
    {"the older one outlived the time-out", {{"connect", 0}, {"removePeer", 5}}, 7, "removePeer"},
    {"every one outlived it", {{"removePeer", 0}}, 7, ""},
};

TEST(UnansweredRequests, AnAnswerIsNamedOnlyWhenOneRequestIsAwaited) {
    for (const auto& c : kAnswers) {
        UnansweredRequests requests;
        for (const auto& request : c.sent) requests.add(request.first, request.second * kSecond, {});
        EXPECT_EQ(requests.take_answered(c.answered_s * kSecond, kTimeout).name, c.named) << c.what;
    }
}

}  // namespace
