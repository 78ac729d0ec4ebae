#pragma once

#include <array>

#include "ipc/message/message.h"

// The levels of a codec's level report, read on the level meters' scale.
namespace meter_levels {

// The meters' scale in dBFS: a missing, unreadable or lower level reads as silence, a higher one
// as full scale.
inline constexpr float kSilenceDb = -72.0f;
inline constexpr float kFullScaleDb = 0.0f;

// The level `name` of a report's values.
float level_of(const Message::Attributes& levels, const char* name);
// The eight levels of a report's values, in the order of IPCObject::recvAllLevels: rmlf, rmrf,
// tmlf, tmrf, rmls, rmrs, tmls, tmrs.
std::array<float, 8> levels_of(const Message::Attributes& levels);

}  // namespace meter_levels
