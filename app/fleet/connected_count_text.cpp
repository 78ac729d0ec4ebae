#include "app/fleet/connected_count_text.h"

#include <QCoreApplication>

#include "text/device_state_text.h"

QString connectedCountText(int connected) {
    if (connected == 0) return deviceStateText(IQEndpointClient::READY);
    return QCoreApplication::translate("ConnectedCount", "%1 connected").arg(connected);
}
