#pragma once

#include <QString>

// Longer than any label, help text or value a codec has a use for.
constexpr int kMaxShownCodecText = 500;

// Text a codec sent, cut to a length that a label or a tree cell lays out at once: a codec may send
// a megabyte where a name belongs. Longer text keeps its start (never half a character) and ends in
// "…", within `maxLength` characters. Shown as plain text all the same.
QString shownCodecText(const QString& text, int maxLength = kMaxShownCodecText);

// Whether text typed for a codec holds a control character (U+0000 to U+001F), which the XML
// writer would replace: such text would not reach the codec as typed.
bool hasControlCharacter(const QString& text);
