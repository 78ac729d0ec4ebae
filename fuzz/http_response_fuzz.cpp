// The HTTP clients' response reader: pipelined responses (heads, lengths, chunked bodies, bodies
// ended by the close) fed in network-sized chunks. Parsing never takes more than it was given, and
// no body passes the limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_chunks.h"
#include "ipc/base/exception.h"
#include "ipc/http/http_response.h"

namespace {

constexpr uint32_t kBodyLimit = 65536;

void check(const http_response& response) {
    if (response.body().size() > kBodyLimit) std::abort();
    (void)response.to_text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    http_response response("\r\n");
    response.set_unknown_length(http_message::UnknownLength::kUntilClose);
    response.set_body_limit(kBodyLimit);
    if (size > 0 && data[0] % 4 == 0) response.set_request_method("HEAD");
    bool has_failed = false;
    for_each_chunk(data, size, [&](const std::string& chunk) {
        for (size_t position = 0; position < chunk.size() && !has_failed;) {
            try {
                const uint32_t taken =
                    response.parse(chunk.data() + position, static_cast<uint32_t>(chunk.size() - position));
                if (taken > chunk.size() - position) std::abort();
                position += taken;
            } catch (const Exception&) {
                has_failed = true;  // the client fails the connection here
                return;
            }
            check(response);
            if (response.is_complete()) response.reset();
        }
    });
    if (!has_failed && response.awaits_close()) {
        response.finish_at_close();
        check(response);
    }
    return 0;
}
