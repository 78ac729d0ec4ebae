#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ipc/base/ipc_random.h"

namespace {

TEST(Random, StringHasTheAskedLength) {
    for (size_t length : {0u, 1u, 6u, 16u, 1000u}) EXPECT_EQ(ipc_random_string(length).size(), length);
}

TEST(Random, WritesNoByteBeyondTheLength) {
    unsigned char buffer[12];
    std::fill(std::begin(buffer), std::end(buffer), 0xAB);
    ipc_random_bytes(buffer + 2, 6);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(buffer[1], 0xAB);
    for (int i = 8; i < 12; ++i) EXPECT_EQ(buffer[i], 0xAB) << i;
}

TEST(Random, IdentifiersDoNotRepeat) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(seen.insert(ipc_random_string(16)).second);
}

TEST(Random, WordsVary) {
    std::set<uint32_t> seen;
    for (int i = 0; i < 100; ++i) seen.insert(ipc_random_u32());
    EXPECT_GT(seen.size(), 95u);
}

}  // namespace
