#pragma once

#include <QString>

// Longer than any label, help text or value a codec has a use for.
constexpr int kMaxShownCodecText = 500;
// A name a codec gives (its own, a peer's, a profile's) as a line or a sentence shows it.
constexpr int kMaxShownNameLength = 64;

// Text a codec sent, cut to a length that a label or a tree cell lays out at once: a codec may send
// a megabyte where a name belongs. Longer text keeps its start (never half a character) and ends in
// "…", within `maxLength` characters. Shown as plain text all the same.
QString shownCodecText(const QString& text, int maxLength = kMaxShownCodecText);

// A name a codec gave, cut to kMaxShownNameLength: inside a sentence of a box or a dialog's line,
// and as a choice in a list that sizes to its entries, where a longer one would widen the window
// beyond the screen (it has no blank to break the line at).
QString shownName(const QString& name);

// Whether text typed for a codec holds a control character (U+0000 to U+001F), which the XML
// writer would replace: such text would not reach the codec as typed.
bool hasControlCharacter(const QString& text);
