#pragma once

#include <array>
#include <cstddef>

#include "app/shared/meter_widget.h"

// The four bars of a level meter, in the order the session reports levels: receive left, receive
// right, transmit left, transmit right. Both meters (the dock's and the small one of tiles and
// rows) turn the session's dB values into bar fractions through it. A bar is anything with
// setLevels(level, secondLevel, hasSecondLevel), secondLevel() and hasSecondLevel(): a MeterWidget,
// or a LevelBar that its meter paints.
//
// Threads: GUI thread only, like its bars.
template <typename Bar>
class MeterBars {
public:
    MeterBars(Bar& rxl, Bar& rxr, Bar& txl, Bar& txr) : bars_{&rxl, &rxr, &txl, &txr} {}

    // Sets each bar's level and hides its second mark; the stored second levels stay.
    void levels(float rxl, float rxr, float txl, float txr) {
        const float db[] = {rxl, rxr, txl, txr};
        for (size_t k = 0; k < bars_.size(); ++k)
            bars_[k]->setLevels(static_cast<float>(levelToFraction(db[k])), bars_[k]->secondLevel(), false);
    }

    // Sets each bar's level and second mark: the first four values are the levels, the last four
    // the marks of the same bars.
    void allLevels(const std::array<float, 8>& db) {
        for (size_t k = 0; k < bars_.size(); ++k) {
            bars_[k]->setLevels(static_cast<float>(levelToFraction(db[k])),
                                static_cast<float>(levelToFraction(db[k + bars_.size()])), true);
        }
    }

    // Empties the four bars and puts their marks at the bottom; whether the marks show is kept.
    void reset() {
        for (Bar* bar : bars_) bar->setLevels(0, 0, bar->hasSecondLevel());
    }

    // Empties the four bars and hides their marks.
    void clear() {
        for (Bar* bar : bars_) bar->setLevels(0, 0, false);
    }

private:
    std::array<Bar*, 4> bars_;  // never null
};
