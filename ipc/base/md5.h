#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// RFC 1321 MD5. Call md5_init once, md5_update any number of times, md5_final once; a new digest
// starts with md5_init again. The functions touch only the caller's context, so separate contexts
// may be used on any threads at once.
struct md5_context {
    uint32_t count_low;       // bytes taken in so far, low 32 bits
    uint32_t count_high;      // high 32 bits of the same count
    uint32_t a, b, c, d;      // chaining words
    unsigned char block[64];  // input waiting for a whole block
};

void md5_init(md5_context& context);
// Takes `length` bytes in. `data` may have any alignment; whole blocks are compressed straight from
// it, and at most one partial block is copied into the context per call. Any length is hashed whole,
// including one above 4 GiB; a length of 0 changes nothing (and `data` may then be null).
void md5_update(md5_context& context, const void* data, size_t length);
// Appends the padding and the bit length and writes a, b, c, d, each least significant byte first.
// The context is left holding the padded state, not cleared.
void md5_final(md5_context& context, unsigned char digest[16]);
// Compresses one 64-byte block (sixteen little-endian words) into a, b, c, d; the count is untouched.
void md5_transform(md5_context& context, const unsigned char block[64]);

// The digest of the text as 32 lower-case hex digits.
std::string ipc_md5_hex(const std::string& text);
// The digest of `hashed_first` immediately followed by `hashed_second`. The argument order is the
// reverse of the hashing order: the login passes the password, then the challenge, and the response
// is MD5(challenge + password).
std::string ipc_md5_hex_pair(const std::string& hashed_second, const std::string& hashed_first);
