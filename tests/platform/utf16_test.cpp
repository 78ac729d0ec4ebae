#include <gtest/gtest.h>

#include "platform/utf16.h"

namespace {

struct Utf8ToUtf16Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

// Well-formed text round-trips; each ill-formed unit becomes one U+FFFD.
const Utf8ToUtf16Case kUtf8ToUtf16[] = {
    {"empty", "", u""},
    {"ascii", "abc", u"abc"},
    {"two bytes", "caf\xC3\xA9", u"caf\u00E9"},
    {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
    {"four bytes to a pair", "\xF0\x9F\x8E\xB5", u"\U0001F3B5"},
    {"embedded NUL kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    {"stray continuation", "a\x80z", u"a\uFFFDz"},
    {"truncated sequence", "a\xE2\x82", u"a\uFFFD\uFFFD"},
    {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
};

TEST(Utf16, DecodesUtf8) {
    for (const auto& c : kUtf8ToUtf16) EXPECT_EQ(platform::utf8_to_utf16(c.utf8), c.utf16) << c.name;
}

TEST(Utf16, WellFormedTextRoundTrips) {
    for (const auto& c : kUtf8ToUtf16) {
        if (c.utf16.find(u'\uFFFD') != std::u16string::npos) continue;
        EXPECT_EQ(platform::utf16_to_utf8(c.utf16), c.utf8) << c.name;
    }
}

TEST(Utf16, LoneSurrogatesBecomeReplacementCharacters) {
    const std::u16string lone_high{u'a', char16_t(0xD800), u'b'};
    const std::u16string lone_low{char16_t(0xDC00)};
    EXPECT_EQ(platform::utf16_to_utf8(lone_high), "a\xEF\xBF\xBD"
                                                  "b");
    EXPECT_EQ(platform::utf16_to_utf8(lone_low), "\xEF\xBF\xBD");
}

}  // namespace
