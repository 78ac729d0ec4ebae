// A peer's Digest "Authorization" value: read, asked for its scheme, its pairs and its count, and
// its expected answer computed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ipc/http/http_digest_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    http_digest_header header;
    if (!header.parse(std::string(reinterpret_cast<const char*>(data), size))) return 0;
    (void)header.has_scheme("Digest");
    (void)header.nonce_count();
    (void)header.expected_response("GET", header.parameter("username"));
    return 0;
}
