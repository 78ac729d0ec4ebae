#include "ipc/base/md5.h"

#include <cstring>

namespace {

// Words are little-endian whatever the host; memcpy keeps the load legal for any alignment and
// compiles to one plain load on x86.
inline uint32_t load_le32(const unsigned char* bytes) {
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap32(word);
#endif
    return word;
}

inline void store_le32(unsigned char* bytes, uint32_t word) {
    bytes[0] = static_cast<unsigned char>(word);
    bytes[1] = static_cast<unsigned char>(word >> 8);
    bytes[2] = static_cast<unsigned char>(word >> 16);
    bytes[3] = static_cast<unsigned char>(word >> 24);
}

inline uint32_t rotate_left(uint32_t x, int s) {
    return (x << s) | (x >> (32 - s));
}

// The four auxiliary functions, in the forms with the fewest operations: F and G as bit selects
// need no NOT; G's two halves share no bits, so the sum equals the OR and lets both halves run in
// parallel.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

#define MD5_STEP(f, a, b, c, d, word, constant, s)                      \
    (a) += f((b), (c), (d)) + (word) + static_cast<uint32_t>(constant); \
    (a) = rotate_left((a), (s)) + (b)

// Compresses `blocks` consecutive 64-byte blocks into the chaining words. The words stay in
// registers across blocks, which is why whole runs of input come here at once.
void transform_blocks(md5_context& context, const unsigned char* data, size_t blocks) {
    uint32_t a = context.a;
    uint32_t b = context.b;
    uint32_t c = context.c;
    uint32_t d = context.d;

    for (; blocks != 0; --blocks, data += 64) {
        const uint32_t x0 = load_le32(data + 0), x1 = load_le32(data + 4), x2 = load_le32(data + 8),
                       x3 = load_le32(data + 12), x4 = load_le32(data + 16), x5 = load_le32(data + 20),
                       x6 = load_le32(data + 24), x7 = load_le32(data + 28), x8 = load_le32(data + 32),
                       x9 = load_le32(data + 36), x10 = load_le32(data + 40), x11 = load_le32(data + 44),
                       x12 = load_le32(data + 48), x13 = load_le32(data + 52), x14 = load_le32(data + 56),
                       x15 = load_le32(data + 60);
        const uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_STEP(MD5_F, a, b, c, d, x0, 0xd76aa478, 7);
        MD5_STEP(MD5_F, d, a, b, c, x1, 0xe8c7b756, 12);
        MD5_STEP(MD5_F, c, d, a, b, x2, 0x242070db, 17);
        MD5_STEP(MD5_F, b, c, d, a, x3, 0xc1bdceee, 22);
        MD5_STEP(MD5_F, a, b, c, d, x4, 0xf57c0faf, 7);
        MD5_STEP(MD5_F, d, a, b, c, x5, 0x4787c62a, 12);
        MD5_STEP(MD5_F, c, d, a, b, x6, 0xa8304613, 17);
        MD5_STEP(MD5_F, b, c, d, a, x7, 0xfd469501, 22);
        MD5_STEP(MD5_F, a, b, c, d, x8, 0x698098d8, 7);
        MD5_STEP(MD5_F, d, a, b, c, x9, 0x8b44f7af, 12);
        MD5_STEP(MD5_F, c, d, a, b, x10, 0xffff5bb1, 17);
        MD5_STEP(MD5_F, b, c, d, a, x11, 0x895cd7be, 22);
        MD5_STEP(MD5_F, a, b, c, d, x12, 0x6b901122, 7);
        MD5_STEP(MD5_F, d, a, b, c, x13, 0xfd987193, 12);
        MD5_STEP(MD5_F, c, d, a, b, x14, 0xa679438e, 17);
        MD5_STEP(MD5_F, b, c, d, a, x15, 0x49b40821, 22);

        MD5_STEP(MD5_G, a, b, c, d, x1, 0xf61e2562, 5);
        MD5_STEP(MD5_G, d, a, b, c, x6, 0xc040b340, 9);
        MD5_STEP(MD5_G, c, d, a, b, x11, 0x265e5a51, 14);
        MD5_STEP(MD5_G, b, c, d, a, x0, 0xe9b6c7aa, 20);
        MD5_STEP(MD5_G, a, b, c, d, x5, 0xd62f105d, 5);
        MD5_STEP(MD5_G, d, a, b, c, x10, 0x02441453, 9);
        MD5_STEP(MD5_G, c, d, a, b, x15, 0xd8a1e681, 14);
        MD5_STEP(MD5_G, b, c, d, a, x4, 0xe7d3fbc8, 20);
        MD5_STEP(MD5_G, a, b, c, d, x9, 0x21e1cde6, 5);
        MD5_STEP(MD5_G, d, a, b, c, x14, 0xc33707d6, 9);
        MD5_STEP(MD5_G, c, d, a, b, x3, 0xf4d50d87, 14);
        MD5_STEP(MD5_G, b, c, d, a, x8, 0x455a14ed, 20);
        MD5_STEP(MD5_G, a, b, c, d, x13, 0xa9e3e905, 5);
        MD5_STEP(MD5_G, d, a, b, c, x2, 0xfcefa3f8, 9);
        MD5_STEP(MD5_G, c, d, a, b, x7, 0x676f02d9, 14);
        MD5_STEP(MD5_G, b, c, d, a, x12, 0x8d2a4c8a, 20);

        MD5_STEP(MD5_H, a, b, c, d, x5, 0xfffa3942, 4);
        MD5_STEP(MD5_H, d, a, b, c, x8, 0x8771f681, 11);
        MD5_STEP(MD5_H, c, d, a, b, x11, 0x6d9d6122, 16);
        MD5_STEP(MD5_H, b, c, d, a, x14, 0xfde5380c, 23);
        MD5_STEP(MD5_H, a, b, c, d, x1, 0xa4beea44, 4);
        MD5_STEP(MD5_H, d, a, b, c, x4, 0x4bdecfa9, 11);
        MD5_STEP(MD5_H, c, d, a, b, x7, 0xf6bb4b60, 16);
        MD5_STEP(MD5_H, b, c, d, a, x10, 0xbebfbc70, 23);
        MD5_STEP(MD5_H, a, b, c, d, x13, 0x289b7ec6, 4);
        MD5_STEP(MD5_H, d, a, b, c, x0, 0xeaa127fa, 11);
        MD5_STEP(MD5_H, c, d, a, b, x3, 0xd4ef3085, 16);
        MD5_STEP(MD5_H, b, c, d, a, x6, 0x04881d05, 23);
        MD5_STEP(MD5_H, a, b, c, d, x9, 0xd9d4d039, 4);
        MD5_STEP(MD5_H, d, a, b, c, x12, 0xe6db99e5, 11);
        MD5_STEP(MD5_H, c, d, a, b, x15, 0x1fa27cf8, 16);
        MD5_STEP(MD5_H, b, c, d, a, x2, 0xc4ac5665, 23);

        MD5_STEP(MD5_I, a, b, c, d, x0, 0xf4292244, 6);
        MD5_STEP(MD5_I, d, a, b, c, x7, 0x432aff97, 10);
        MD5_STEP(MD5_I, c, d, a, b, x14, 0xab9423a7, 15);
        MD5_STEP(MD5_I, b, c, d, a, x5, 0xfc93a039, 21);
        MD5_STEP(MD5_I, a, b, c, d, x12, 0x655b59c3, 6);
        MD5_STEP(MD5_I, d, a, b, c, x3, 0x8f0ccc92, 10);
        MD5_STEP(MD5_I, c, d, a, b, x10, 0xffeff47d, 15);
        MD5_STEP(MD5_I, b, c, d, a, x1, 0x85845dd1, 21);
        MD5_STEP(MD5_I, a, b, c, d, x8, 0x6fa87e4f, 6);
        MD5_STEP(MD5_I, d, a, b, c, x15, 0xfe2ce6e0, 10);
        MD5_STEP(MD5_I, c, d, a, b, x6, 0xa3014314, 15);
        MD5_STEP(MD5_I, b, c, d, a, x13, 0x4e0811a1, 21);
        MD5_STEP(MD5_I, a, b, c, d, x4, 0xf7537e82, 6);
        MD5_STEP(MD5_I, d, a, b, c, x11, 0xbd3af235, 10);
        MD5_STEP(MD5_I, c, d, a, b, x2, 0x2ad7d2bb, 15);
        MD5_STEP(MD5_I, b, c, d, a, x9, 0xeb86d391, 21);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }

    context.a = a;
    context.b = b;
    context.c = c;
    context.d = d;
}

#undef MD5_STEP
#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

std::string final_hex(md5_context& context) {
    static const char digits[] = "0123456789abcdef";
    unsigned char digest[16];
    md5_final(context, digest);
    std::string hex(32, '\0');
    for (size_t i = 0; i < 16; ++i) {
        hex[2 * i] = digits[digest[i] >> 4];
        hex[2 * i + 1] = digits[digest[i] & 0x0f];
    }
    return hex;
}

}  // namespace

void md5_init(md5_context& context) {
    context.count_low = 0;
    context.count_high = 0;
    context.a = 0x67452301;
    context.b = 0xefcdab89;
    context.c = 0x98badcfe;
    context.d = 0x10325476;
}

void md5_transform(md5_context& context, const unsigned char block[64]) {
    transform_blocks(context, block, 1);
}

void md5_update(md5_context& context, const void* data, size_t length) {
    if (length == 0) return;
    const auto* input = static_cast<const unsigned char*>(data);
    const size_t used = context.count_low % 64;

    // The byte count is 64 bits wide so that any sequence of calls, and one call above 4 GiB, is
    // counted whole.
    const uint64_t count = ((uint64_t{context.count_high} << 32) | context.count_low) + length;
    context.count_low = static_cast<uint32_t>(count);
    context.count_high = static_cast<uint32_t>(count >> 32);

    if (used != 0) {
        const size_t missing = 64 - used;
        if (length < missing) {
            std::memcpy(context.block + used, input, length);
            return;
        }
        std::memcpy(context.block + used, input, missing);
        transform_blocks(context, context.block, 1);
        input += missing;
        length -= missing;
    }

    // Whole blocks are compressed straight from the caller's memory, whatever its alignment.
    transform_blocks(context, input, length / 64);
    input += length - length % 64;
    length %= 64;

    if (length != 0) std::memcpy(context.block, input, length);
}

void md5_final(md5_context& context, unsigned char digest[16]) {
    // The length field holds the message length in bits, taken before the padding raises the count;
    // beyond 2^64 bits only the low 64 are kept, as RFC 1321 asks.
    const uint64_t bits = ((uint64_t{context.count_high} << 32) | context.count_low) * 8;
    unsigned char length_field[8];
    store_le32(length_field, static_cast<uint32_t>(bits));
    store_le32(length_field + 4, static_cast<uint32_t>(bits >> 32));

    // 0x80 then zeros up to 56 mod 64: between 1 and 64 bytes of padding.
    static const unsigned char padding[64] = {0x80};
    const size_t used = context.count_low % 64;
    const size_t padding_length = used < 56 ? 56 - used : 120 - used;
    md5_update(context, padding, padding_length);
    md5_update(context, length_field, sizeof length_field);

    store_le32(digest, context.a);
    store_le32(digest + 4, context.b);
    store_le32(digest + 8, context.c);
    store_le32(digest + 12, context.d);
}

std::string ipc_md5_hex(const std::string& text) {
    md5_context context;
    md5_init(context);
    md5_update(context, text.data(), text.size());
    return final_hex(context);
}

std::string ipc_md5_hex_pair(const std::string& hashed_second, const std::string& hashed_first) {
    // Two updates hash the pair without building the joined text.
    md5_context context;
    md5_init(context);
    md5_update(context, hashed_first.data(), hashed_first.size());
    md5_update(context, hashed_second.data(), hashed_second.size());
    return final_hex(context);
}
