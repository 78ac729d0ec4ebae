#include "text/device_state_text.h"

#include <QCoreApplication>

QString deviceStateText(IQEndpointClient::DEVICE_STATE state) {
    const char* text = "";
    switch (state) {
    case IQEndpointClient::TIMED_OUT: text = QT_TRANSLATE_NOOP("DeviceState", "Timed out"); break;
    case IQEndpointClient::AUTH_FAILED: text = QT_TRANSLATE_NOOP("DeviceState", "Wrong Password"); break;
    case IQEndpointClient::DISCONNECTED: text = QT_TRANSLATE_NOOP("DeviceState", "Not connected"); break;
    case IQEndpointClient::CONNECTING: text = QT_TRANSLATE_NOOP("DeviceState", "Connecting"); break;
    case IQEndpointClient::CONNECTED:
    case IQEndpointClient::AUTHENTICATED: text = QT_TRANSLATE_NOOP("DeviceState", "Logging in"); break;
    case IQEndpointClient::READY: text = QT_TRANSLATE_NOOP("DeviceState", "Ready"); break;
    case IQEndpointClient::CODE_UPLOAD: text = QT_TRANSLATE_NOOP("DeviceState", "Device is about to update"); break;
    case IQEndpointClient::CODE_UPDATE: text = QT_TRANSLATE_NOOP("DeviceState", "Device is updating firmware"); break;
    }
    return QCoreApplication::translate("DeviceState", text);
}
