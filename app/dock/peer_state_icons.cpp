#include "app/dock/peer_state_icons.h"

#include <QIcon>
#include <QString>

namespace {

// Reachable from here for the life of the process, so never reported as leaked.
QIcon* g_icons[4] = {};

}  // namespace

void createPeerStateIcons() {
    if (g_icons[0]) return;
    const char* const names[] = {"asterisk_red", "asterisk_yellow", "asterisk_green", "asterisk_gray"};
    for (int index = 0; index < 4; ++index) {
        g_icons[index] = new QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(names[index])));
    }
}

const QIcon& peerStateIcon(PeerStateIcon which) {
    createPeerStateIcons();  // a view built before start-up made them must not crash
    return *g_icons[static_cast<int>(which)];
}
