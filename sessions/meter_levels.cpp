#include "sessions/meter_levels.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/c_locale.h"

namespace meter_levels {

float level_of(const Message::Attributes& levels, const char* name) {
    // Read here rather than with get_float, which gives 0 dB, full scale, for text that is no number.
    const std::string text = levels.get_string(name, std::string());
    const char* const end = text.data() + text.size();
    float level = 0;
    // A codec sends plain decimals, which from_chars reads several times faster than strtof; the
    // rarer forms strtof also takes (a leading blank or plus sign, hexadecimal) go its way.
    const std::from_chars_result read = std::from_chars(text.data(), end, level);
    if (read.ec != std::errc() || read.ptr != end) {
        char* strtof_end = nullptr;
        level = strtof_l(text.c_str(), &strtof_end, platform::c_locale());
        if (strtof_end == text.c_str() || *strtof_end != '\0') return kSilenceDb;
    }
    if (std::isnan(level)) return kSilenceDb;
    return std::min(std::max(level, kSilenceDb), kFullScaleDb);
}

std::array<float, 8> levels_of(const Message::Attributes& levels) {
    return {level_of(levels, "rmlf"), level_of(levels, "rmrf"), level_of(levels, "tmlf"), level_of(levels, "tmrf"),
            level_of(levels, "rmls"), level_of(levels, "rmrs"), level_of(levels, "tmls"), level_of(levels, "tmrs")};
}

}  // namespace meter_levels
