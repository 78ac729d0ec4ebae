#include "app/shared/level_bar.h"

namespace {

// A fraction as drawn: held to 0..1, NaN as 0.
double drawnFraction(float value) {
    if (!(value > 0.0f)) return 0.0;
    return value < 1.0f ? static_cast<double>(value) : 1.0;
}

}  // namespace

void LevelBar::setLevels(float level, float secondLevel, bool hasSecondLevel) {
    level_ = level;
    secondLevel_ = secondLevel;
    hasSecondLevel_ = hasSecondLevel;
}

LevelBar::Extent LevelBar::extent(int length, bool isHorizontal) const {
    Extent result;
    result.covered = static_cast<int>(length * (1.0 - drawnFraction(level_)));
    if (hasSecondLevel_) {
        const int fromEnd = static_cast<int>(length * (1.0 - drawnFraction(secondLevel_)));
        result.markStart = isHorizontal ? length - fromEnd - kMarkThickness : fromEnd;
        result.hasMark = result.markStart < length && result.markStart + kMarkThickness > 0;
    }
    return result;
}
