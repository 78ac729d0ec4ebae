#include "dialogs/codec_text.h"

namespace {

// Longer than any label, help text or value a codec has a use for.
constexpr int kMaxShownLength = 500;

}  // namespace

QString shownCodecText(const QString& text) {
    if (text.size() <= kMaxShownLength) return text;
    int kept = kMaxShownLength - 1;
    if (text.at(kept - 1).isHighSurrogate()) --kept;  // never half a character
    return text.left(kept) + QChar(0x2026);
}
