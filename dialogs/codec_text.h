#pragma once

#include <QString>

// Text a codec sent, cut to a length that a label or a tree cell lays out at once: a codec may send
// a megabyte where a name belongs. Longer text keeps its start and ends in "…". Shown as plain text
// all the same.
QString shownCodecText(const QString& text);
