#pragma once

#include <QMetaType>

#include "ipc/message.h"

Q_DECLARE_METATYPE(Message)

// Registers the types that travel in queued calls between the socket loops and the GUI thread
// ("Message", "KT_EVENT"). Call once at start-up, before the first session is created.
void register_session_meta_types();
