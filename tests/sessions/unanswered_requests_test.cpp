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
    int earlier_answers;                                // taken before the one told
    const char* answerable;                             // the names it may answer, oldest first
};
// The codec answers in order and leaves successes unanswered; when an answer comes does not
// matter, only how far apart the requests went.
const AnswerCase kAnswers[] = {
    {"the only one awaited", {{"disconnect", 0}}, 0, "disconnect"},
    {"none awaited", {}, 0, ""},
    {"a silent success and a refusal", {{"connect", 0}, {"disconnect", 2}}, 0, "connect disconnect"},
    {"a late answer, the next request sent within its time-out",
     {{"connect", 0}, {"disconnect", 5}},
     0,
     "connect disconnect"},
    {"a late answer, nothing sent since", {{"disconnect", 0}}, 0, "disconnect"},
    {"the time-out passed before the next went", {{"connect", 0}, {"disconnect", 11}}, 0, "disconnect"},
    {"the next went as the time-out ended", {{"connect", 0}, {"disconnect", 7}}, 0, "disconnect"},
    {"each within the time-out of the one before",
     {{"connect", 0}, {"removePeer", 5}, {"disconnect", 10}},
     0,
     "removePeer disconnect"},
    {"after an answer that could not be paired",
     {{"connect", 0}, {"disconnect", 1}, {"removePeer", 2}},
     1,
     "disconnect removePeer"},
    {"after the answer of the only one", {{"disconnect", 0}}, 1, ""},
};

TEST(UnansweredRequests, AnAnswerMayBeThatOfEachRequestSentWithinATimeOutOfTheNext) {
    for (const auto& c : kAnswers) {
        UnansweredRequests requests;
        for (const auto& request : c.sent) requests.add(request.first, request.second * kSecond, {}, kTimeout);
        for (int i = 0; i < c.earlier_answers; ++i) requests.take_answered();
        std::string names;
        for (const UnansweredRequests::Request& request : requests.take_answered()) {
            names += (names.empty() ? "" : " ") + request.name;
        }
        EXPECT_EQ(names, c.answerable) << c.what;
    }
}

}  // namespace
