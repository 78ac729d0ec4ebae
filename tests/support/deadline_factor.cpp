#include "tests/support/deadline_factor.h"

#include <cstdio>
#include <cstdlib>

namespace test_support {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kIsSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kIsSanitized = true;
#else
constexpr bool kIsSanitized = false;
#endif
#else
constexpr bool kIsSanitized = false;
#endif

constexpr int kLargestFactor = 100;
constexpr const char* kVariable = "KESTRANE_TEST_DEADLINE_FACTOR";

}  // namespace

int read_deadline_factor(const char* text, int fallback) {
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const long factor = std::strtol(text, &end, 10);
    if (*end != '\0' || factor < 1 || factor > kLargestFactor) {
        std::fprintf(stderr, "%s=\"%s\" is not a whole number from 1 to %d; the deadlines use %d\n", kVariable, text,
                     kLargestFactor, fallback);
        return fallback;
    }
    return static_cast<int>(factor);
}

int deadline_factor() {
    static const int factor = read_deadline_factor(std::getenv(kVariable), kIsSanitized ? kSanitizedFactor : 1);
    return factor;
}

std::chrono::milliseconds give_up_after(std::chrono::milliseconds deadline) {
    return deadline * deadline_factor();
}

int give_up_after_ms(std::chrono::milliseconds deadline) {
    return static_cast<int>(give_up_after(deadline).count());
}

}  // namespace test_support
