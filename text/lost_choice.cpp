#include "text/lost_choice.h"

#include "text/codec_text.h"

namespace {

// A codec's name or address inside the line: enough to tell peers apart, short enough for a line
// above a list.
constexpr int kShownTextLength = 60;

QString shown(const QString& text) {
    return shownCodecText(text, kShownTextLength);
}

}  // namespace

QString LostChoice::line() const {
    const bool isPeer = kind == Kind::kPeer;
    const QString id = chosen.value(0);
    // A job read from an older file may know its peer by its address, or by its id alone.
    QString name = chosen.value(1);
    if (name.isEmpty()) name = chosen.value(2);
    if (name.isEmpty()) name = isPeer ? tr("peer %1").arg(shown(id)) : tr("profile %1").arg(shown(id));
    if (listed.isEmpty()) {
        return isPeer ? tr("The codec no longer has the peer \"%1\" you chose. Choose the peer again.").arg(shown(name))
                      : tr("The codec no longer has the profile \"%1\" you chose. Choose the profile again.")
                            .arg(shown(name));
    }
    QString now = QStringLiteral("\"%1\"").arg(shown(listed.value(1)));
    const QString address = listed.value(2);
    if (!address.isEmpty() && address != chosen.value(2)) now += tr(" at %1").arg(shown(address));
    return isPeer
               ? tr("You chose \"%1\", but peer %2 is now %3. Choose the peer again.").arg(shown(name), shown(id), now)
               : tr("You chose \"%1\", but profile %2 is now %3. Choose the profile again.")
                     .arg(shown(name), shown(id), now);
}
