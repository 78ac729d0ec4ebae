#pragma once

class QIcon;

// The four state icons of a peer row (the main window's peer tree and the dialogs' peer lists):
// red (the connection test failed), yellow (busy), green (reachable) and gray (offline). Made once at
// start-up, before the first window, and kept for the life of the process. GUI thread only.
enum class PeerStateIcon { Red, Yellow, Green, Gray };

void createPeerStateIcons();
// One of the icons; made here if createPeerStateIcons has not run yet.
const QIcon& peerStateIcon(PeerStateIcon which);
