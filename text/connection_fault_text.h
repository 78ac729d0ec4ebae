#pragma once

#include <QDateTime>
#include <QString>

#include "sessions/connection_fault.h"
#include "sessions/link_drops.h"

// Why a codec's connection failed, or a frame it sent was dropped, in the operator's words: "the
// codec refused the password", "could not connect: Connection refused", "the codec stopped
// answering", ... Bounded, for plain text; empty for no fault.
QString connectionFaultText(const ConnectionFault& fault);

// What a codec dropped since its link came up, as of `now`: "3 messages from the codec were dropped
// since it connected, the last at 14:02:07: unreadable (Premature end of document.)", the times in
// local 24-hour form, with the date before them when that was not today; after Seen, "since you
// pressed Seen at 13:58:40". Bounded, for plain text; empty when nothing was dropped.
QString linkDropsText(const LinkDrops& drops, const QDateTime& now);

class IPCObject;

// What the views say of a codec beyond its state, as its tool tip and in the dock's header: why
// its connection last failed or a frame it sent was dropped ("Last failure: the codec stopped
// answering"), and, while it is READY, what it dropped since its link came up (linkDropsText) and
// which of its figures stopped coming. Plain; empty when there is nothing to say. GUI thread.
QString codecHealthText(IPCObject& session);

// A READY codec's status ("1 connected"), marked while its levels or statistics stopped coming:
// "Stale: 1 connected" (staleStatusText). GUI thread.
QString liveStatusText(IPCObject& session, const QString& status);
QString staleStatusText(const QString& status);

// One line of the codec's state for the dock's header: the state and why it last failed while it is
// not READY ("Not connected: the codec stopped answering"), codecHealthText on one line while it is.
// GUI thread.
QString codecStatusLine(IPCObject& session);
