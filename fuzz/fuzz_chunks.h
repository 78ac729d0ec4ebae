#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Splits a fuzz input into chunks as a network would: the first input byte seeds the sizes (1 to 64
// bytes each, varying), and `take` gets each chunk of the rest in order. Splits thus fall at every
// place in a message across the corpus: inside a line end, a length, a chunk header.
template <typename Take>
void for_each_chunk(const uint8_t* data, size_t size, Take take) {
    if (size == 0) return;
    uint32_t state = data[0] * 2654435761u + 1;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    for (size_t offset = 0; offset < bytes.size();) {
        state = state * 1664525u + 1013904223u;
        const size_t length = 1 + (state >> 26);
        take(bytes.substr(offset, length));
        offset += length;
    }
}
