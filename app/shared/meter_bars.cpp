#include "app/shared/meter_bars.h"

#include "app/shared/meter_widget.h"

MeterBars::MeterBars(MeterWidget* rxl, MeterWidget* rxr, MeterWidget* txl, MeterWidget* txr)
    : bars_{rxl, rxr, txl, txr} {}

void MeterBars::levels(float rxl, float rxr, float txl, float txr) {
    const float db[] = {rxl, rxr, txl, txr};
    for (size_t k = 0; k < bars_.size(); ++k)
        bars_[k]->setLevels(static_cast<float>(levelToFraction(db[k])), bars_[k]->secondLevel(), false);
}

void MeterBars::allLevels(const std::array<float, 8>& db) {
    for (size_t k = 0; k < bars_.size(); ++k) {
        bars_[k]->setLevels(static_cast<float>(levelToFraction(db[k])),
                            static_cast<float>(levelToFraction(db[k + bars_.size()])), true);
    }
}

void MeterBars::reset() {
    for (MeterWidget* bar : bars_) bar->setLevels(0, 0, bar->hasSecondLevel());
}

void MeterBars::clear() {
    for (MeterWidget* bar : bars_) bar->setLevels(0, 0, false);
}
