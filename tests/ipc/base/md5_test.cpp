#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ipc/base/md5.h"

namespace {

std::string to_hex(const unsigned char digest[16]) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < 16; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 0x0f];
    }
    return hex;
}

std::string finish(md5_context& context) {
    unsigned char digest[16];
    md5_final(context, digest);
    return to_hex(digest);
}

// Feeds `data` in pieces whose sizes cycle through `pieces`.
std::string digest_in_pieces(const std::string& data, const std::vector<size_t>& pieces) {
    md5_context context;
    md5_init(context);
    size_t offset = 0;
    for (size_t i = 0; offset < data.size(); ++i) {
        const size_t piece = std::min(pieces[i % pieces.size()], data.size() - offset);
        md5_update(context, data.data() + offset, piece);
        offset += piece;
    }
    return finish(context);
}

std::string pattern(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    return bytes;
}

struct DigestCase {
    std::string input;
    const char* hex;
};

// RFC 1321 A.5, the test suite.
const DigestCase kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// Runs of "a" around the padding boundaries: 55 bytes leave room for the length in the same block,
// 56 push it into a second one. Made with: head -c N /dev/zero | tr '\0' a | md5sum
const DigestCase kPaddingBoundaries[] = {
    {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
    {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
    {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
    {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
    {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
};

TEST(Md5, MeetsTheRfc1321Suite) {
    for (const auto& c : kRfc1321Suite) EXPECT_EQ(ipc_md5_hex(c.input), c.hex) << '"' << c.input << '"';
}

TEST(Md5, PadsAroundTheBlockBoundary) {
    for (const auto& c : kPaddingBoundaries) EXPECT_EQ(ipc_md5_hex(c.input), c.hex) << c.input.size();
}

TEST(Md5, PiecesOfAnySizeGiveTheSameDigest) {
    // Long enough for several 16384-byte pieces and a ragged end.
    const std::string data = pattern(3 * 16384 + 1000);
    const std::string whole = digest_in_pieces(data, {data.size()});
    const std::vector<std::vector<size_t>> splits = {{1}, {63, 1}, {64, 64}, {16384}, {65, 7, 200}};
    for (const auto& pieces : splits) EXPECT_EQ(digest_in_pieces(data, pieces), whole) << pieces[0];
}

TEST(Md5, EmptyUpdateChangesNothing) {
    md5_context context{};
    md5_init(context);
    md5_update(context, "abc", 3);
    const md5_context before = context;
    md5_update(context, "xyz", 0);
    md5_update(context, nullptr, 0);
    EXPECT_EQ(std::memcmp(&before, &context, sizeof context), 0);
    EXPECT_EQ(finish(context), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, UnalignedInputGivesTheSameDigest) {
    const std::string data = pattern(1000);
    const std::string expected = ipc_md5_hex(data);
    std::vector<unsigned char> buffer(data.size() + 8);
    for (size_t offset = 1; offset < 8; ++offset) {
        std::memcpy(buffer.data() + offset, data.data(), data.size());
        md5_context context;
        md5_init(context);
        md5_update(context, buffer.data() + offset, data.size());
        EXPECT_EQ(finish(context), expected) << offset;
    }
}

TEST(Md5, PairHashesTheSecondTextFirst) {
    // What the login computes for password "password" and challenge "challenge".
    // Made with: printf %s challengepassword | md5sum
    EXPECT_EQ(ipc_md5_hex_pair("password", "challenge"), "5cc1906c207cb70ff1a3ac3d04d87d70");
    EXPECT_EQ(ipc_md5_hex_pair("", "abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(ipc_md5_hex_pair("abc", ""), "900150983cd24fb0d6963f7d28e17f72");
}

// The byte count must carry into its high word, and the length field must hold all 64 bits, once
// more than 4 GiB have gone through; one 1 MiB buffer fed 4097 times gets there without the memory.
TEST(Md5, CountsPastFourGibibytes) {
    const std::vector<unsigned char> zeros(size_t{1} << 20);
    md5_context context;
    md5_init(context);
    for (int i = 0; i < 4097; ++i) md5_update(context, zeros.data(), zeros.size());
    // Made with: head -c $((4097 * 1048576)) /dev/zero | md5sum
    EXPECT_EQ(finish(context), "bb5f534251d9b95ad40b14d16f88f709");
}

}  // namespace
