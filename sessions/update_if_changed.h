#pragma once

// Stores `value` in `field` when they differ and reports whether it did. The tunnel records use it
// so that one report tells its listeners only what really changed.
inline bool updateIfChanged(int& field, int value) {
    if (field == value) return false;
    field = value;
    return true;
}

inline bool updateIfChanged(bool& field, bool value) {
    if (field == value) return false;
    field = value;
    return true;
}
