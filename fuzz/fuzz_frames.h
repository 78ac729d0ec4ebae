#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ipc/base/exception.h"
#include "ipc/message/message.h"

// Cuts a fuzz input at NUL bytes into at most `limit` frames and parses each. A frame that does not
// parse becomes an empty message, so that the target still exercises the frames after it.
inline std::vector<Message> parse_frames(const std::string& input, size_t limit) {
    std::vector<Message> frames;
    size_t start = 0;
    while (frames.size() < limit && start <= input.size()) {
        size_t end = input.find('\0', start);
        if (end == std::string::npos) end = input.size();
        frames.emplace_back();
        try {
            frames.back().parse(input.substr(start, end - start));
        } catch (const Exception&) {
            frames.back() = Message();
        }
        start = end + 1;
    }
    return frames;
}
