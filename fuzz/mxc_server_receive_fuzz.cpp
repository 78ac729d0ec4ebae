// The mxc server's receive path: requests framed, their queries made messages, and answered.
#include "fuzz/fuzz_http_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_http_server("mxc", data, size);
    return 0;
}
