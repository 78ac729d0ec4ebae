#pragma once

#include <QString>

class IPCObject;

// How a dialog names a codec: its unit name, or its address while the codec has not told its
// name. The name comes from the codec, so it is cut to kMaxUnitLabelLength characters (an ellipsis
// marks the cut) before any widget lays it out. GUI thread only.
constexpr int kMaxUnitLabelLength = 64;
QString unitLabel(IPCObject& session);
