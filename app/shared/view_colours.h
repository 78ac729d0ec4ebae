#pragma once

#include <QColor>

// The colours that views in more than one room share: the statistics graphs' legend and series
// (the dock's legend labels name the series in their colour) and the backgrounds of peer rows,
// which tell a peer in an audio connection from an idle one. Built before main runs.
extern const QColor frameLossColor;
extern const QColor remoteLossColor;
extern const QColor targetColor;
extern const QColor delayColor;
extern const QColor jitterColor;
extern const QColor correctionColor;
extern const QColor idlePeerBackground;
extern const QColor activePeerBackground;
