#include "tools/codec-sim/sim_numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace codec_sim {

uint64_t mix(uint64_t x) {
    // splitmix64's finaliser: every input bit reaches every output bit.
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

int64_t floor_div(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

bool parse_int(const std::string& text, int& out) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, out);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

int clamp_int(double value, int low, int high) {
    return static_cast<int>(std::lround(std::min<double>(std::max<double>(value, low), high)));
}

}  // namespace codec_sim
