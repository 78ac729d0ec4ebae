#pragma once

namespace platform {

// The debugger's own output channel, beside the Qt debug output that every log record also goes to.
// Linux has no such channel: a debugger reads the process's stderr, where Qt already writes the same
// record, so this does nothing rather than print every line twice.
void debugger_output(const char* line);

}  // namespace platform
