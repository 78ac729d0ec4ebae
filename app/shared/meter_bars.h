#pragma once

#include <array>

class MeterWidget;

// The four bars of a level meter, in the order the session reports levels: receive left, receive
// right, transmit left, transmit right. Both meters (the dock's and the small one of tiles and
// rows) turn the session's dB values into bar fractions through it.
//
// Threads: GUI thread only, like its bars.
class MeterBars {
public:
    MeterBars(MeterWidget* rxl, MeterWidget* rxr, MeterWidget* txl, MeterWidget* txr);

    // Sets each bar's level and hides its second mark; the stored second levels stay.
    void levels(float rxl, float rxr, float txl, float txr);
    // Sets each bar's level and second mark: the first four values are the levels, the last four
    // the marks of the same bars.
    void allLevels(const std::array<float, 8>& db);
    // Empties the four bars and puts their marks at the bottom; whether the marks show is kept.
    void reset();
    // Empties the four bars and hides their marks.
    void clear();

private:
    std::array<MeterWidget*, 4> bars_;  // children of the meter; never null
};
