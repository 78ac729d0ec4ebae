// The URL record: any text reads without failing, and what it prints for a request line (the
// target, the host) holds nothing that would end or split that line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ipc/base/exception.h"
#include "ipc/http/url_parts.h"

namespace {

bool is_line_safe(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '#') return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    UrlParts url(text);
    (void)url.dump();
    if (!is_line_safe(url.request_target())) std::abort();
    try {
        const std::string host = url.host_port_string();
        if (host.find_first_of("/?#@") != std::string::npos) std::abort();
        const UrlParts again(url.to_string());
        (void)again.dump();
    } catch (const Exception&) {
        // a host that would escape its place is refused
    }
    UrlParts pieces;
    pieces.parse_host_port(text);
    pieces.parse_path(text);
    if (!is_line_safe(pieces.request_target())) std::abort();
    return 0;
}
