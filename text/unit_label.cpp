#include "text/unit_label.h"

#include "sessions/ipc_object.h"
#include "text/codec_text.h"

QString unitLabel(IPCObject& session) {
    QString label = session.unitName();
    if (label.isEmpty()) label = IPCObject::addressText(session.host, session.port);
    return shownCodecText(label, kMaxUnitLabelLength);
}

QString shownUnitName(IPCObject& session) {
    return shownCodecText(session.unitName(), kMaxUnitLabelLength);
}
