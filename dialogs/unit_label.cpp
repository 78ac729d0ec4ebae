#include "dialogs/unit_label.h"

#include "sessions/ipc_object.h"

QString unitLabel(IPCObject& session) {
    QString label = session.unitName();
    if (label.isEmpty()) label = IPCObject::addressText(session.host, session.port);
    if (label.size() <= kMaxUnitLabelLength) return label;
    int kept = kMaxUnitLabelLength - 1;
    if (label.at(kept - 1).isHighSurrogate()) --kept;  // never half a character
    return label.left(kept) + QChar(0x2026);
}
