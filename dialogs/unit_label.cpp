#include "dialogs/unit_label.h"

#include "dialogs/codec_text.h"
#include "sessions/ipc_object.h"

QString unitLabel(IPCObject& session) {
    QString label = session.unitName();
    if (label.isEmpty()) label = IPCObject::addressText(session.host, session.port);
    return shownCodecText(label, kMaxUnitLabelLength);
}

QString shownUnitName(IPCObject& session) {
    return shownCodecText(session.unitName(), kMaxUnitLabelLength);
}
