#pragma once

#include <QColor>

// The statistics legend: each series of the delay and loss graphs has one colour, shared by its
// bars or line and by its legend label on the Statistics tab. Opaque; never changed.
inline const QColor targetColor(220, 228, 0);
inline const QColor jitterColor(50, 240, 180);
inline const QColor delayColor(70, 140, 240);
inline const QColor correctionColor(230, 200, 0);
inline const QColor remoteLossColor(150, 230, 70);
inline const QColor frameLossColor(242, 70, 40);
