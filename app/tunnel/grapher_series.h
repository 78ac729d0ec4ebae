#pragma once

#include <QVector>

// The last samples of one key of a Grapher: a ring of `capacity` sample vectors. `next` is the slot
// the next sample overwrites, and so also the oldest slot.
struct GrapherSeries {
    QVector<QVector<int>> ring;
    int next = 0;
};
