// A server's request reader: pipelined requests in network-sized chunks, each complete one read for
// its cookies, its URL and its multipart parts, and printed again. A request that parses prints a
// request line nothing can split.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_chunks.h"
#include "ipc/base/exception.h"
#include "ipc/http/http_request.h"
#include "ipc/http/url_parts.h"

namespace {

void read_request(const http_request& request) {
    (void)request.has_cookie("s");
    (void)request.cookie("s");
    const UrlParts url = request.to_url("http");
    (void)url.dump();
    try {
        (void)url.to_string();
    } catch (const Exception&) {
    }
    try {
        (void)request.parse_multipart();
        const std::string wire = request.serialize();
        if (wire.find_first_of("\r\n") != wire.find("\r\n")) std::abort();  // one line before the first CR LF
    } catch (const Exception&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    http_request request("\r\n");
    request.set_unknown_length(http_message::UnknownLength::kNone);
    request.set_body_limit(65536);
    bool has_failed = false;
    for_each_chunk(data, size, [&](const std::string& chunk) {
        for (size_t position = 0; position < chunk.size() && !has_failed;) {
            try {
                position += request.parse(chunk.data() + position, static_cast<uint32_t>(chunk.size() - position));
            } catch (const Exception&) {
                has_failed = true;  // a server drops the connection here
                return;
            }
            if (!request.is_complete()) continue;
            read_request(request);
            request.reset();
        }
    });
    return 0;
}
