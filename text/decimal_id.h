#pragma once

#include <QString>

#include <optional>

// A codec's id (or an int option's value) as the codec wrote it, read strictly: an optional minus
// sign and decimal digits, nothing else, within the int range. Anything else is no id at all, so
// that a command is never sent for id 0 because a codec wrote "abc" or "7x".
std::optional<int> readDecimalId(const QString& text);
