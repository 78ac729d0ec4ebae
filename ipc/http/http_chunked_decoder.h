#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The "chunked" transfer coding of an HTTP/1.1 body, decoded as it arrives: size lines, chunk data,
// the CR LF after each chunk, and the trailer section. Trailers are read and dropped: a trailer
// field could otherwise carry a second Content-Length or Host past whoever checked the header.
// Every line ends with CR LF; size lines and the trailer section are bounded, and the decoded body
// by the caller's limit.
class http_chunked_decoder {
public:
    static constexpr size_t kMaxSizeLine = 1024;       // hex digits and any chunk extensions
    static constexpr size_t kMaxTrailerBytes = 65536;  // the whole trailer section

    // Appends the data of bytes[0, length) to `body` and returns how many of the bytes belong to
    // this body (all of them until the last chunk's trailer section has ended). Throws "Malformed
    // chunked body", or "Oversized HTTP body" when the body would pass `body_limit` bytes.
    size_t decode(const char* bytes, size_t length, std::string& body, uint32_t body_limit);
    bool is_done() const { return state_ == State::kDone; }
    void reset();

private:
    enum class State { kSize, kData, kDataEnd, kTrailer, kDone };

    // Gathers bytes of the current line up to and including its LF; true once the line is whole.
    bool gather_line(const char* bytes, size_t length, size_t& used, size_t limit);
    void end_size_line(const std::string& body, uint32_t body_limit);
    void end_trailer_line();

    State state_ = State::kSize;
    std::string line_;        // the line gathered so far, with its CR LF once whole
    uint32_t remaining_ = 0;  // data bytes still due in the current chunk
    size_t trailer_bytes_ = 0;
};
