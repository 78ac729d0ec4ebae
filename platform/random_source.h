#pragma once

#include <cstddef>

namespace platform {

// Fills the buffer with bytes from the kernel's cryptographic generator (getrandom), looping over
// short reads and EINTR. Returns 0 on success or the errno that stopped it; there is no weaker
// fallback, so a caller that gets an error must not use the buffer.
int fill_random(void* buffer, size_t length);

}  // namespace platform
