#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "ipc/message/message.h"

namespace {

using Value = Message::Value;

// A value set through the setter of T's type.
template <typename T>
Value make(T v) {
    Value value;
    value.set(v);
    return value;
}
Value make_string(const char* v) {
    return Value(std::string(v));
}

struct TextCase {
    Value value;
    const char* text;
    const char* type_name;
};

TEST(MessageValue, TextFormsOfEveryType) {
    // Text column of the value type table; floats always carry six decimals.
    const TextCase cases[] = {
        {Value(), "", "null"},
        {make_string("x y"), "x y", "string"},
        {make<int>(-5), "-5", "int"},
        {make<unsigned>(4294967295u), "4294967295", "uint"},
        {make<float>(1.5f), "1.500000", "float"},
        {make<float>(0.1f), "0.100000", "float"},
        {make<float>(std::numeric_limits<float>::infinity()), "inf", "float"},
        {make<float>(-std::numeric_limits<float>::infinity()), "-inf", "float"},
        {make<bool>(true), "true", "bool"},
        {make<bool>(false), "false", "bool"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.to_string(), c.text);
        EXPECT_EQ(c.value.as_string(), c.text);
        EXPECT_STREQ(Value::type_name(c.value.type()), c.type_name) << c.text;
    }
    EXPECT_STREQ(Value::type_name(6), "");
}

TEST(MessageValue, ConversionsGoThroughText) {
    EXPECT_EQ(make<bool>(true).to_int(), 0);  // "true" is no number
    EXPECT_FALSE(make<int>(1).to_bool());     // "1" is not "true"
    EXPECT_TRUE(make_string("true").to_bool());
    EXPECT_FALSE(make_string("true ").to_bool());
    EXPECT_EQ(make_string("12abc").to_int(), 12);
    EXPECT_EQ(make<float>(2.75f).to_int(), 2);
    EXPECT_EQ(make_string("-1").to_uint(), 4294967295u);
    EXPECT_EQ(make_string("-inf").to_float(), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(make<int>(7).to_float(), 7.0f);
    EXPECT_EQ(Value().to_int(), 0);
}

TEST(MessageValue, LiteralIsStoredAsText) {
    Value value;
    value.set("text");
    EXPECT_EQ(value.type(), Value::TYPE_STRING);
    EXPECT_EQ(value.to_string(), "text");
    value.set(static_cast<const char*>(nullptr));
    EXPECT_EQ(value.type(), Value::TYPE_STRING);
    EXPECT_EQ(value.to_string(), "");
}

TEST(MessageValue, ConvertKeepsContentAsFarAsTextAllows) {
    Value null_value;
    null_value.convert(Value::TYPE_INT);
    EXPECT_EQ(null_value.type(), Value::TYPE_INT);

    Value number = make_string("12abc");
    number.convert(Value::TYPE_INT);
    EXPECT_EQ(number.type(), Value::TYPE_INT);
    EXPECT_EQ(number.to_int(), 12);

    Value to_null = make<int>(7);
    to_null.convert(Value::TYPE_NULL);  // becomes the string "7", not null
    EXPECT_EQ(to_null.type(), Value::TYPE_STRING);
    EXPECT_EQ(to_null.to_string(), "7");

    Value flag = make_string("true");
    flag.convert(Value::TYPE_BOOL);
    EXPECT_TRUE(flag.to_bool());

    Value unknown = make<int>(3);
    unknown.convert(9);
    EXPECT_EQ(unknown.type(), Value::TYPE_INT);
    EXPECT_EQ(unknown.to_int(), 3);
}

struct RawCase {
    uint32_t type;
    const char* bytes;
    uint32_t length;
    bool is_accepted;
    const char* text;  // after the call
};

TEST(MessageValue, SetRawChecksTheTypeSize) {
    // Raw sizes of the value type table: 4 for int/uint/float, 1 for bool, 0 for null.
    const RawCase cases[] = {
        {Value::TYPE_INT, "\x01\x00\x00\x00", 4, true, "1"},
        {Value::TYPE_INT, "\xff\xff\xff\xff", 4, true, "-1"},
        {Value::TYPE_INT, "\x02", 1, true, "2"},  // zero-filled
        {Value::TYPE_INT, "\x01\x00\x00\x00\x00", 5, false, "0"},
        {Value::TYPE_UINT, "\xff\xff", 2, true, "65535"},
        {Value::TYPE_FLOAT, "\x00\x00\xc0\x3f", 4, true, "1.500000"},
        {Value::TYPE_BOOL, "\x07", 1, true, "true"},
        {Value::TYPE_BOOL, "\x00", 1, true, "false"},
        {Value::TYPE_BOOL, "\x01\x01", 2, false, "false"},
        {Value::TYPE_NULL, "", 0, true, ""},
        {Value::TYPE_NULL, "x", 1, false, ""},
        {Value::TYPE_STRING, "any length", 10, true, "any length"},
    };
    for (const auto& c : cases) {
        Value value;
        value.convert(c.type);
        EXPECT_EQ(value.set_raw(c.bytes, c.length), c.is_accepted) << c.type << " " << c.length;
        EXPECT_EQ(value.to_string(), c.text) << c.type;
    }
    Value flag;
    flag.convert(Value::TYPE_BOOL);
    flag.set_raw("\x07", 1);
    ASSERT_EQ(flag.size(), 1u);
    EXPECT_EQ(flag.data()[0], 1);  // normalised, so it re-encodes canonically
    Value text;
    text.convert(Value::TYPE_STRING);
    text.set_raw("a\0b", 3);
    EXPECT_EQ(text.to_string(), std::string("a\0b", 3));
}

struct EqualityCase {
    Value a;
    Value b;
    bool is_equal;
};

TEST(MessageValue, EqualityRules) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const EqualityCase cases[] = {
        {make<int>(5), make_string("5"), true},
        {make<bool>(true), make_string("true"), true},
        {make<float>(1.5f), make_string("1.500000"), true},
        {Value(), make_string(""), true},
        {Value(), Value(), true},
        {make<int>(5), make<unsigned>(5), true},  // both texts are "5"
        {make<int>(-1), make<unsigned>(4294967295u), false},
        {make<float>(0.0f), make<float>(-0.0f), true},
        {make<float>(nan), make<float>(nan), false},
        {make_string("a"), make_string("a\0"), true},
        {make_string("ab"), make_string("a"), false},
        {make<bool>(false), make<int>(0), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a == c.b, c.is_equal) << c.a.to_string() << " vs " << c.b.to_string();
        EXPECT_EQ(c.b == c.a, c.is_equal) << c.b.to_string() << " vs " << c.a.to_string();
        EXPECT_NE(c.a != c.b, c.is_equal);
    }
}

TEST(MessageValue, NumberTextsIgnoreTheProcessLocale) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 not installed";
    const std::string text = make<float>(1.5f).to_string();
    const float read = make_string("2.25").to_float();
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(text, "1.500000");
    EXPECT_EQ(read, 2.25f);
}

}  // namespace
