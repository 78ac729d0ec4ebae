#pragma once

#include <QMetaType>

#include "ipc/message.h"

Q_DECLARE_METATYPE(Message)

// Registers the types the sessions' signals carry ("Message", "KT_EVENT", "LogLine"), so that they
// can reach receivers through queued connections. Call once at start-up, before the first session
// is created.
void register_session_meta_types();
