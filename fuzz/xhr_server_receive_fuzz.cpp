// The xhr server's receive path: requests framed, routed to messages, the session gate, poll, the
// debug page and static files, and answered.
#include "fuzz/fuzz_http_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_http_server("xhr", data, size);
    return 0;
}
