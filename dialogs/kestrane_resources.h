#pragma once

// Registers the program's icons and help page (resources/kestrane.qrc), which are compiled into
// this static library: a linker keeps no unreferenced registration of its own, so every window that
// shows them calls this first. Safe to call any number of times. GUI thread only.
void initKestraneResources();
