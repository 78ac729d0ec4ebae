#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "ipc/base/ipc_string.h"

namespace {

using Pieces = std::vector<std::string>;

struct TextCase {
    const char* in;
    const char* out;
};

TEST(IpcString, IntReadersFollowTheCScannerAndSaturate) {
    // clang-format off
    const struct { const char* in; int32_t out; } kCases[] = {
        {"42abc", 42}, {"2.75", 2}, {" \t7", 7}, {"+5", 5}, {"-12", -12}, {"abc", 0}, {"", 0}, {"-", 0},
        {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"2147483648", INT32_MAX},
        {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN}, {"00000000000000000000012", 12},
    };
    // clang-format on
    for (const auto& c : kCases) EXPECT_EQ(ipc_string_to_int(c.in), c.out) << c.in;
}

TEST(IpcString, UintReaderWrapsTheSignAndSaturates) {
    // clang-format off
    const struct { const char* in; uint32_t out; } kCases[] = {
        {"4294967295", UINT32_MAX}, {"4294967296", UINT32_MAX}, {"-1", 4294967295u}, {"-4294967295", 1},
        {"-99999999999", 1}, {" 8x", 8}, {"x8", 0},
    };
    // clang-format on
    for (const auto& c : kCases) EXPECT_EQ(ipc_string_to_uint(c.in), c.out) << c.in;
}

TEST(IpcString, FloatTextsIncludingInfinityAndNan) {
    // clang-format off
    const struct { float value; const char* text; } kWrites[] = {
        {0.1f, "0.100000"}, {3.0f, "3.000000"}, {-0.25f, "-0.250000"},
        {std::numeric_limits<float>::infinity(), "inf"}, {-std::numeric_limits<float>::infinity(), "-inf"},
    };
    // clang-format on
    for (const auto& c : kWrites) EXPECT_EQ(ipc_float_to_string(c.value), c.text) << c.text;

    // clang-format off
    const struct { const char* text; float value; } kReads[] = {
        {"1e3", 1000.0f}, {" 7", 7.0f}, {"abc", 0.0f}, {"", 0.0f}, {"1.5xyz", 1.5f},
        {"inf", std::numeric_limits<float>::infinity()}, {"-inf", -std::numeric_limits<float>::infinity()},
    };
    // clang-format on
    for (const auto& c : kReads) EXPECT_EQ(ipc_string_to_float(c.text), c.value) << c.text;

    // NaN keeps its sign bit in the text as the C printf writes it, and either form reads back.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(ipc_float_to_string(std::copysign(nan, 1.0f)), "nan");
    EXPECT_EQ(ipc_float_to_string(std::copysign(nan, -1.0f)), "-nan");
    EXPECT_TRUE(std::isnan(ipc_string_to_float("nan")));
    EXPECT_TRUE(std::isnan(ipc_string_to_float("-nan")));
}

TEST(IpcString, NumberTextsIgnoreTheProcessLocale) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 not installed";
    const std::string written = ipc_float_to_string(1.5f);
    const float read = ipc_string_to_float("1.5");
    float scanned = 0.0f;
    const int count = ipc_sscanf("2.25", "%f", &scanned);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(written, "1.500000");
    EXPECT_EQ(read, 1.5f);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(scanned, 2.25f);
}

TEST(IpcString, BoolIsOnlyExactlyTrue) {
    EXPECT_TRUE(ipc_string_to_bool("true"));
    for (const char* text : {"true ", "TRUE", "1", "yes", ""}) EXPECT_FALSE(ipc_string_to_bool(text)) << text;
}

TEST(IpcString, UrlEncodeAndDecodeKeepingBadEscapes) {
    EXPECT_EQ(ipc_url_encode("a b/c?d"), "a+b/c%3fd");
    EXPECT_EQ(ipc_url_encode("-_.~/;=&+\n\"\xE9%"), "-_.~/;=&+%0a%22%e9%25");
    EXPECT_EQ(ipc_url_decode("a+b/c%3fd"), "a b/c?d");
    const TextCase kCases[] = {
        {"%41", "A"},   {"%4a%4A", "JJ"}, {"a+b", "a b"}, {"50%", "50%"}, {"%-1", "%-1"},
        {"%4z", "%4z"}, {"%2", "%2"},     {"%", "%"},     {"%%41", "%A"}, {"%zz%e9", "%zz\xE9"},
    };
    for (const auto& c : kCases) EXPECT_EQ(ipc_url_decode(c.in), c.out) << c.in;
    EXPECT_EQ(ipc_url_decode("%00"), std::string(1, '\0'));
}

TEST(IpcString, QuoteAndUnquote) {
    EXPECT_EQ(ipc_quote("a\"b", '"'), "\"a\\\"b\"");
    EXPECT_EQ(ipc_quote("", '"'), "\"\"");
    EXPECT_EQ(ipc_unquote("\"a\\\"b\"", '"'), "a\\\"b");
    EXPECT_EQ(ipc_unquote("\"ab", '"'), "a");  // the last character goes whatever it is
    EXPECT_EQ(ipc_unquote("ab\"", '"'), "ab\"");
}

TEST(IpcString, EscapeDoesNotEscapeEntitiesTwice) {
    EXPECT_EQ(ipc_escape("<a href=\"x&amp;y\">'"), "&lt;a href=&quot;x&amp;amp;y&quot;&gt;&apos;");
}

TEST(IpcString, BackslashEscape) {
    const TextCase kText[] = {
        {"a/b", "a\\/b"},
        {"a\\b", "a\\\\b"},
        {"it's & /", "it\\'s \\& \\/"},
        {"\\/", "\\\\\\/"},
    };
    for (const auto& c : kText) EXPECT_EQ(ipc_backslash_escape_text(c.in), c.out) << c.in;

    const TextCase kSlash[] = {{"a\\/b", "a\\/b"}, {"a\\\\/b", "a\\\\\\/b"}, {"//", "\\/\\/"}};
    for (const auto& c : kSlash) {
        std::string text = c.in;
        ipc_backslash_escape(text, "/");
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(IpcString, BlankControlChars) {
    std::string text("a\x01\t\n\v\f\r\x1F\x7F\x80\xFF"
                     "b",
                     12);
    ipc_blank_control_chars(text);
    EXPECT_EQ(text, "a \t\n\v\f\r    b");
}

TEST(IpcString, StripXmlDeclaration) {
    const TextCase kCases[] = {
        {"<?xml version=\"1.0\"?>\n<m/>", "<m/>"}, {"<m/>", "<m/>"},
        {"<?xml version=\"1.0\"?>", ""},           {"<?xml no end <m/>", "<?xml no end <m/>"},
        {" <?xml?><m/>", " <?xml?><m/>"},
    };
    for (const auto& c : kCases) {
        std::string text = c.in;
        ipc_strip_xml_declaration(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(IpcString, CaseChangesOnlyAsciiLetters) {
    EXPECT_EQ(ipc_to_lower("AbZ\xC4@["), "abz\xC4@[");
    EXPECT_EQ(ipc_to_upper("aBz\xE4`{"), "ABZ\xE4`{");
}

TEST(IpcString, Trim) {
    EXPECT_EQ(ipc_trim("  x \r\n"), "x");
    EXPECT_EQ(ipc_trim("  x \r\n", true, false), "x \r\n");
    EXPECT_EQ(ipc_trim("   "), "");
    EXPECT_EQ(ipc_trim(" \t\r\n", true, false), "");
    EXPECT_EQ(ipc_trim("\vx\f"), "\vx\f");
}

TEST(IpcString, SplitAndJoin) {
    EXPECT_EQ(ipc_split("", ","), Pieces{});
    EXPECT_EQ(ipc_split("a", ","), Pieces{"a"});
    EXPECT_EQ(ipc_split(",,a,,b,,", ","), (Pieces{"", "a", "b"}));
    EXPECT_EQ(ipc_split("a b;c", " ;"), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(ipc_join({}, ","), "");
    EXPECT_EQ(ipc_join({"a", "", "b"}, ","), "a,,b");
}

TEST(IpcString, ReplaceAllNeverSearchesTheReplacement) {
    // clang-format off
    const struct { const char* text; const char* from; const char* to; const char* out; } kCases[] = {
        {"aaa", "a", "aa", "aaaaaa"}, {"abab", "ab", "b", "bb"}, {"xyz", "", "q", "xyz"}, {"", "a", "b", ""},
    };
    // clang-format on
    for (const auto& c : kCases) {
        std::string text = c.text;
        ipc_replace_all(text, c.from, c.to);
        EXPECT_EQ(text, c.out) << c.text << " / " << c.from;
    }
}

TEST(IpcString, NormalizePathNeverClimbsOut) {
    const TextCase kCases[] = {
        {"/a/./b/../c", "a/c"},   {"../../etc", "etc"}, {"/", ""},
        {"a/b/../../../c/", "c"}, {"..", ""},           {"a/...", "a/..."},
    };
    for (const auto& c : kCases) EXPECT_EQ(ipc_normalize_path(c.in), c.out) << c.in;
}

TEST(IpcString, Hex) {
    EXPECT_EQ(ipc_bytes_to_hex(std::string("\x00\xFF", 2)), "00ff");
    EXPECT_EQ(ipc_hex_to_bytes("0a:FF"), "\x0A\xFF");
    EXPECT_EQ(ipc_hex_to_bytes("abc"), "\xAB");
    EXPECT_EQ(ipc_hex_to_bytes("g\xC3\xA9"), "");
}

TEST(IpcString, Base64) {
    // RFC 4648 §10
    const TextCase kVectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : kVectors) {
        EXPECT_EQ(ipc_base64_encode(c.in, true), c.out) << c.in;
        EXPECT_EQ(ipc_base64_decode(c.out), c.in) << c.out;
    }
    EXPECT_EQ(ipc_base64_encode("ab", false), "YWI");
    EXPECT_EQ(ipc_base64_decode("YWI"), "ab");
    EXPECT_EQ(ipc_base64_encode("\xFB\xFF", false), "+/8");
    for (const char* bad : {"YW I=", "YWI\n", "YW=I", "-_8=", "YWJj!"}) {
        EXPECT_EQ(ipc_base64_decode(bad), "") << bad;
    }
}

}  // namespace

namespace {

struct Utf8SequenceCase {
    const char* name;
    std::string text;
    size_t length;
    bool is_xml_char;
};

// RFC 3629 §4 well-formed sequences, and XML 1.0 §2.2's exclusion of U+FFFE and U+FFFF.
const Utf8SequenceCase kUtf8Sequences[] = {
    {"two bytes", "\xC3\xA9", 2, true},
    {"three bytes", "\xE2\x82\xAC", 3, true},
    {"four bytes", "\xF0\x9F\x8E\xB5", 4, true},
    {"U+FFFE", "\xEF\xBF\xBE", 3, false},
    {"overlong", "\xC0\xAF", 0, true},
    {"encoded surrogate", "\xED\xA0\x80", 0, true},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", 0, true},
    {"cut short", "\xE2\x82", 0, true},
    {"stray continuation", "\x80", 0, true},
};

TEST(IpcString, Utf8SequenceLength) {
    for (const auto& c : kUtf8Sequences) {
        bool is_xml_char = false;
        EXPECT_EQ(ipc_utf8_sequence_length(c.text, 0, is_xml_char), c.length) << c.name;
        if (c.length != 0) {
            EXPECT_EQ(is_xml_char, c.is_xml_char) << c.name;
        }
    }
}

// The same sequences inside text, and the ASCII control characters XML 1.0 §2.2 excludes.
TEST(IpcString, XmlTextIsWellFormedUtf8OfXmlCharacters) {
    for (const auto& c : kUtf8Sequences) {
        EXPECT_EQ(ipc_is_xml_text("a" + c.text + "b"), c.length != 0 && c.is_xml_char) << c.name;
    }
    EXPECT_TRUE(ipc_is_xml_text(""));
    EXPECT_TRUE(ipc_is_xml_text("tab\tline\nreturn\r delete\x7F"));
    for (const char* control : {"\x01", "\x08", "\x0B", "\x1F"}) {
        EXPECT_FALSE(ipc_is_xml_text(std::string("a") + control)) << int(control[0]);
    }
    EXPECT_FALSE(ipc_is_xml_text(std::string("a\0b", 3)));
}

}  // namespace
