#include "sessions/meter_levels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/c_locale.h"

namespace meter_levels {

float level_of(const Message::Attributes& levels, const char* name) {
    // Read here rather than with get_float, which gives 0 dB, full scale, for text that is no number.
    const std::string text = levels.get_string(name, std::string());
    char* end = nullptr;
    const float level = strtof_l(text.c_str(), &end, platform::c_locale());
    if (end == text.c_str() || *end != '\0' || std::isnan(level)) return kSilenceDb;
    return std::min(std::max(level, kSilenceDb), kFullScaleDb);
}

std::array<float, 8> levels_of(const Message::Attributes& levels) {
    return {level_of(levels, "rmlf"), level_of(levels, "rmrf"), level_of(levels, "tmlf"), level_of(levels, "tmrf"),
            level_of(levels, "rmls"), level_of(levels, "rmrs"), level_of(levels, "tmls"), level_of(levels, "tmrs")};
}

}  // namespace meter_levels
