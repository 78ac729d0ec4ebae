#pragma once

#include <QString>

#include "text/codec_text.h"

class IPCObject;

// How the program names a codec wherever it shows one name for it (tiles, tree rows, prompts,
// dialogs): its unit name, or its address and port ("10.0.0.5:5004", "[::1]:5004") while the codec
// has not told its name, so that codecs behind one address can be told apart. The name comes from
// the codec, so it is cut to kMaxUnitLabelLength characters (an ellipsis marks the cut) before any
// widget lays it out. GUI thread only.
constexpr int kMaxUnitLabelLength = kMaxShownNameLength;
QString unitLabel(IPCObject& session);
// The unit name alone, cut as unitLabel cuts it; empty while the codec has not told it.
QString shownUnitName(IPCObject& session);
