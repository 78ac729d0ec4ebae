#pragma once

#include <QString>

#include "sessions/iq_endpoint_client.h"

// What a codec's session state says to the operator: "Connecting", "Wrong Password", "Ready", ...
QString deviceStateText(IQEndpointClient::DEVICE_STATE state);
