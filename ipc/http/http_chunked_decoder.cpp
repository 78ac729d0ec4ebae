#include "ipc/http/http_chunked_decoder.h"

#include <algorithm>
#include <cstring>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"

namespace {

[[noreturn]] void malformed() {
    throw Exception("Malformed chunked body");
}

}  // namespace

void http_chunked_decoder::reset() {
    state_ = State::kSize;
    line_.clear();
    remaining_ = 0;
    trailer_bytes_ = 0;
}

size_t http_chunked_decoder::decode(const char* bytes, size_t length, std::string& body, uint32_t body_limit) {
    size_t used = 0;
    while (used < length && state_ != State::kDone) {
        switch (state_) {
        case State::kSize:
            if (gather_line(bytes, length, used, kMaxSizeLine)) end_size_line(body, body_limit);
            break;
        case State::kData: {
            const size_t taken = std::min<size_t>(remaining_, length - used);
            body.append(bytes + used, taken);
            used += taken;
            remaining_ -= static_cast<uint32_t>(taken);
            if (remaining_ == 0) state_ = State::kDataEnd;
            break;
        }
        case State::kDataEnd:
            if (gather_line(bytes, length, used, 2)) {
                if (line_ != "\r\n") malformed();
                line_.clear();
                state_ = State::kSize;
            }
            break;
        case State::kTrailer:
            if (gather_line(bytes, length, used, kMaxTrailerBytes - trailer_bytes_)) end_trailer_line();
            break;
        case State::kDone: break;
        }
    }
    return used;
}

bool http_chunked_decoder::gather_line(const char* bytes, size_t length, size_t& used, size_t limit) {
    const char* start = bytes + used;
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', length - used));
    const size_t count = lf ? static_cast<size_t>(lf - start) + 1 : length - used;
    if (line_.size() + count > limit) {
        if (state_ == State::kTrailer) throw Exception("Oversized HTTP header");
        malformed();
    }
    line_.append(start, count);
    used += count;
    if (!lf) return false;
    // A lone LF, or a CR anywhere but before it, is how two parsers come to read one body differently.
    if (line_.size() < 2 || line_[line_.size() - 2] != '\r' || line_.find('\r') != line_.size() - 2) malformed();
    return true;
}

void http_chunked_decoder::end_size_line(const std::string& body, uint32_t body_limit) {
    size_t i = 0;
    uint64_t size = 0;
    for (; ipc_hex_digit_value(line_[i]) >= 0; ++i) {
        size = size * 16 + static_cast<uint64_t>(ipc_hex_digit_value(line_[i]));
        if (body.size() + size > body_limit) throw Exception("Oversized HTTP body");
    }
    // Digits, then the line end or a chunk extension (ignored), nothing else.
    if (i == 0 || (line_[i] != '\r' && line_[i] != ';' && line_[i] != ' ' && line_[i] != '\t')) malformed();
    line_.clear();
    remaining_ = static_cast<uint32_t>(size);
    state_ = size == 0 ? State::kTrailer : State::kData;
}

void http_chunked_decoder::end_trailer_line() {
    trailer_bytes_ += line_.size();
    state_ = line_ == "\r\n" ? State::kDone : State::kTrailer;
    line_.clear();
}
