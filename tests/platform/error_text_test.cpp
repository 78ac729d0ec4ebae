#include <gtest/gtest.h>

#include <cerrno>

#include "platform/error_text.h"

namespace {

TEST(ErrorText, GivesTheSystemText) {
    EXPECT_EQ(platform::error_text(ECONNREFUSED), "Connection refused");
    EXPECT_EQ(platform::error_text(ENOENT), "No such file or directory");
}

TEST(ErrorText, UnknownNumbersStillGiveText) {
    EXPECT_FALSE(platform::error_text(99999).empty());
}

}  // namespace
