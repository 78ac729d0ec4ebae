#include "text/codec_text.h"

QString shownCodecText(const QString& text, int maxLength) {
    if (text.size() <= maxLength) return text;
    int kept = maxLength - 1;
    if (text.at(kept - 1).isHighSurrogate()) --kept;  // never half a character
    return text.left(kept) + QChar(0x2026);
}

QString shownName(const QString& name) {
    return shownCodecText(name, kMaxShownNameLength);
}

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20) return true;
    }
    return false;
}
