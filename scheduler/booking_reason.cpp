#include "scheduler/booking_reason.h"

#include <array>
#include <utility>

namespace {

using Code = BookingReason::Code;

// Each code's name in the file, and its words: %1 is the peer id, %2 the detail.
struct CodeText {
    Code code;
    const char* file_name;
    const char* words;
};

constexpr std::array<CodeText, 9> kCodeTexts{{
    {Code::kNotReady, "not-ready", "codec not ready"},
    {Code::kNotInFleet, "not-in-fleet", "codec not in the fleet"},
    {Code::kPeerGone, "peer-gone", "peer %1 is no longer in the codec's list"},
    {Code::kPeerNowOther, "peer-now-other", "peer %1 is now %2"},
    {Code::kConnectRefused, "connect-refused", "connect refused by the codec: %2"},
    {Code::kConnectMaybeRefused, "connect-maybe-refused", "a connect may have been refused by the codec: %2"},
    {Code::kForceRefused, "force-refused", "the codec refused to end its other calls: %2"},
    {Code::kDisconnectRefused, "disconnect-refused", "disconnect refused by the codec: %2"},
    {Code::kNextRefused, "next-refused", "its next occurrence was refused"},
}};

const CodeText* textOf(Code code) {
    for (const CodeText& text : kCodeTexts) {
        if (text.code == code) return &text;
    }
    return nullptr;
}

}  // namespace

QString BookingReason::words() const {
    if (code == Code::kWritten) return detail;
    const CodeText* text = textOf(code);
    if (!text) return QString();
    QString made = QString::fromLatin1(text->words);
    // Replaced by hand rather than with arg(): a peer's or codec's words may hold "%1" themselves.
    made.replace(QLatin1String("%1"), peer);
    return made.replace(QLatin1String("%2"), detail);
}

QString BookingReason::fileName() const {
    const CodeText* text = textOf(code);
    return text ? QString::fromLatin1(text->file_name) : QString();
}

BookingReason BookingReason::fromFile(const QString& name, const QString& peer, const QString& detail) {
    for (const CodeText& text : kCodeTexts) {
        if (name == QLatin1String(text.file_name)) return {text.code, peer, detail};
    }
    return {};
}
