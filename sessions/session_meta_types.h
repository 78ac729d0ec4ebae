#pragma once

#include <QMetaType>

#include "ipc/message/message.h"

Q_DECLARE_METATYPE(Message)

// Registers the types the sessions' signals carry ("Message", "KT_EVENT", "LogLine", "FailureEffect",
// "IQEndpointClient::DEVICE_STATE"), so that they can reach receivers through queued connections,
// also those made by signature. Call once at start-up, before the first session is created.
void register_session_meta_types();
