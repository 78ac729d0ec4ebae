#include "sessions/connection_fault.h"

#include <QCoreApplication>

QString droppedFrameText(const ConnectionFault& fault, const QString& why) {
    if (fault.kind == ConnectionFault::kFrameTooLarge) {
        return QCoreApplication::translate("ConnectionFault",
                                           "a message from the codec was too large (%1 bytes) and was dropped")
            .arg(fault.size);
    }
    return QCoreApplication::translate("ConnectionFault",
                                       "a message from the codec could not be read and was dropped: %1")
        .arg(why);
}
