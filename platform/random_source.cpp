#include "platform/random_source.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

int fill_random(void* buffer, size_t length) {
    auto* out = static_cast<unsigned char*>(buffer);
    size_t filled = 0;
    while (filled < length) {
        const ssize_t got = getrandom(out + filled, length - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        filled += static_cast<size_t>(got);
    }
    return 0;
}

}  // namespace platform
