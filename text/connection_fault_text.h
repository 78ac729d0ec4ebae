#pragma once

#include <QString>

#include "sessions/connection_fault.h"

// Why a codec's connection failed, or a frame it sent was dropped, in the operator's words: "the
// codec refused the password", "could not connect: Connection refused", "the codec stopped
// answering", ... Bounded, for plain text; empty for no fault.
QString connectionFaultText(const ConnectionFault& fault);
