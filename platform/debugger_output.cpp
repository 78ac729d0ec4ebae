#include "platform/debugger_output.h"

namespace platform {

void debugger_output(const char*) {}

}  // namespace platform
