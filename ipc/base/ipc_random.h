#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Random bytes from the kernel's cryptographic generator, for identifiers, nonces and challenges.
// If the generator fails these throw Exception: a caller never receives weak or unfilled bytes.
uint32_t ipc_random_u32();
void ipc_random_bytes(void* buffer, size_t length);
// `length` random bytes (any value, NUL included: not text).
std::string ipc_random_string(size_t length);
