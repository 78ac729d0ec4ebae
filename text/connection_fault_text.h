#pragma once

#include <QString>

#include "sessions/connection_fault.h"

// Why a codec's connection failed, or a frame it sent was dropped, in the operator's words: "the
// codec refused the password", "could not connect: Connection refused", "the codec stopped
// answering", ... Bounded, for plain text; empty for no fault.
QString connectionFaultText(const ConnectionFault& fault);

// Why a link ended, to follow "... was not connected: ": the fault's words, or that the connection
// was closed when the program closed it itself.
QString lostLinkText(const ConnectionFault& fault);
