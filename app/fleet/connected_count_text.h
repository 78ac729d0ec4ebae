#pragma once

#include <QString>

// What the tile and the row of a READY codec say in place of its state: "Ready" with no audio
// connection, else how many peers it is connected to ("1 connected", "3 connected").
QString connectedCountText(int connected);
