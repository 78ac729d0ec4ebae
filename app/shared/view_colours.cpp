#include "app/shared/view_colours.h"

const QColor frameLossColor(242, 70, 40, 255);
const QColor remoteLossColor(150, 230, 70, 255);
const QColor targetColor(220, 228, 0, 255);
const QColor delayColor(70, 140, 240, 255);
const QColor jitterColor(50, 240, 180, 255);
const QColor correctionColor(230, 200, 0, 255);
const QColor idlePeerBackground(255, 255, 255, 0);
const QColor activePeerBackground(150, 240, 30, 160);
