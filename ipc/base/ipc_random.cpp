#include "ipc/base/ipc_random.h"

#include "ipc/base/exception.h"
#include "platform/error_text.h"
#include "platform/random_source.h"

void ipc_random_bytes(void* buffer, size_t length) {
    if (const int error = platform::fill_random(buffer, length)) {
        throw Exception("ipc_random_bytes: %s", platform::error_text(error).c_str());
    }
}

uint32_t ipc_random_u32() {
    uint32_t word = 0;
    ipc_random_bytes(&word, sizeof word);
    return word;
}

std::string ipc_random_string(size_t length) {
    std::string bytes(length, '\0');
    ipc_random_bytes(bytes.data(), bytes.size());
    return bytes;
}
