#pragma once

// What one level bar shows: the lit fraction between 0 and 1, lit from the bottom (vertical) or from
// the left (horizontal), and an optional second mark. A value, painted by its owner; it knows nothing
// of decibels or widgets.
class LevelBar {
public:
    // The mark is this many pixels thick, across the bar.
    static constexpr int kMarkThickness = 2;

    // What the bar shows in pixels along its length: the covered (unlit) pixels, from the top of a
    // vertical bar or the right of a horizontal one, and where the mark starts when it shows.
    struct Extent {
        int covered = 0;
        bool hasMark = false;
        int markStart = 0;
        bool operator==(const Extent& other) const {
            return covered == other.covered && hasMark == other.hasMark && (!hasMark || markStart == other.markStart);
        }
        bool operator!=(const Extent& other) const { return !(*this == other); }
    };

    // Values outside 0..1 (NaN included) are drawn as the nearest end, NaN as empty; they are kept
    // as given.
    void setLevels(float level, float secondLevel, bool hasSecondLevel);

    float level() const { return level_; }
    float secondLevel() const { return secondLevel_; }
    bool hasSecondLevel() const { return hasSecondLevel_; }

    // On a bar `length` pixels long: the covered pixels are trunc(length × (1 - level)). A vertical
    // bar's mark starts on row trunc(length × (1 - second)); a horizontal bar's mark ends where a
    // level of the same value would stop being lit. A mark wholly outside the bar is none.
    Extent extent(int length, bool isHorizontal) const;

private:
    float level_ = 0;
    float secondLevel_ = 0;
    bool hasSecondLevel_ = false;
};
