#include <gtest/gtest.h>

#include <string>

#include "ipc/base/exception.h"

namespace {

TEST(Exception, FormatsLikePrintf) {
    const Exception e("%s: Child row %d out of range", "get_child", 4);
    EXPECT_STREQ(e.what(), "get_child: Child row 4 out of range");
}

TEST(Exception, KeepsTheFirst4095Characters) {
    const std::string long_text(5000, 'x');
    const Exception e("%s", long_text.c_str());
    EXPECT_EQ(std::string(e.what()), long_text.substr(0, 4095));
}

TEST(Exception, IsCaughtAsAStandardException) {
    try {
        throw Exception("%s: %s", "read_from_file", "gone");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "read_from_file: gone");
    }
}

}  // namespace
