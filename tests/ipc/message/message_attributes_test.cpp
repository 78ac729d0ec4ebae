#include <gtest/gtest.h>

#include <QString>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "ipc/message/message.h"

namespace {

using Attributes = Message::Attributes;
using Value = Message::Value;

TEST(MessageAttributes, TypedGettersAndDefaults) {
    Attributes list;
    list.set("null", Value());
    list.set("text", std::string("12abc"));
    list.set("float", 2.75f);
    list.set("one", 1);
    list.set("yes", std::string("true"));

    EXPECT_EQ(list.get_int("absent", 7), 7);
    EXPECT_EQ(list.get_int("null", 7), 0);
    EXPECT_EQ(list.get_int("text", 7), 12);
    EXPECT_EQ(list.get_int("float", 7), 2);
    EXPECT_EQ(list.get_uint("absent", 9u), 9u);
    EXPECT_EQ(list.get_float("absent", 0.5f), 0.5f);
    EXPECT_EQ(list.get_float("float", 0.5f), 2.75f);
    EXPECT_EQ(list.get_string("absent", "def"), "def");
    EXPECT_EQ(list.get_string("null", "def"), "");
    EXPECT_EQ(list.get_string("float", ""), "2.750000");

    EXPECT_FALSE(list.get_bool("one", true));  // "1" is not "true"
    EXPECT_TRUE(list.get_bool("yes", false));
    EXPECT_TRUE(list.get_bool("null", true));  // a present null reads as absent, for bools only
    EXPECT_FALSE(list.get_bool("null", false));

    EXPECT_EQ(list.get_type("one"), Value::TYPE_INT);
    EXPECT_EQ(list.get_type("absent"), Value::TYPE_NULL);
    EXPECT_FALSE(list.get("absent").is_set());
}

TEST(MessageAttributes, QStringIsUtf8) {
    Attributes list;
    list.set("name", QString::fromUtf8("Grüße"));
    EXPECT_EQ(list.get_string("name", ""), "Gr\xC3\xBC\xC3\x9F"
                                           "e");
    EXPECT_EQ(list.get_qstring("name", QString()), QString::fromUtf8("Grüße"));
    EXPECT_EQ(list.get_qstring("absent", QStringLiteral("d")), QStringLiteral("d"));
}

TEST(MessageAttributes, LiteralValueIsText) {
    Attributes list;
    list.set("k", "text");
    EXPECT_EQ(list.get_type("k"), Value::TYPE_STRING);
    EXPECT_EQ(list.get_string("k", ""), "text");
    const char* none = nullptr;
    list.set("n", none);
    EXPECT_EQ(list.get_type("n"), Value::TYPE_STRING);
}

TEST(MessageAttributes, NamesKeepByteOrder) {
    Attributes list;
    for (const char* name : {"b", "aa", "B", "a", "", "\xC3\xA9"}) list.set(name, 1);
    const std::vector<std::string> expected = {"", "B", "a", "aa", "b", "\xC3\xA9"};
    EXPECT_EQ(list.keys(), expected);
    list.set("a", std::string("x"));  // replaces value and type
    EXPECT_EQ(list.size(), 6u);
    EXPECT_EQ(list.get_type("a"), Value::TYPE_STRING);
    list.remove("a");
    list.remove("missing");
    EXPECT_FALSE(list.has("a"));
    EXPECT_EQ(list.size(), 5u);
}

struct ScaledCase {
    float value;
    unsigned scale;
    int stored;
};

TEST(MessageAttributes, ScaledValues) {
    const ScaledCase cases[] = {
        {1.5f, 1000, 1500},
        {-1.9f, 1, -1},  // truncated toward zero
        {3e9f, 1, std::numeric_limits<int>::max()},
        {-3e9f, 1, std::numeric_limits<int>::min()},
        {std::numeric_limits<float>::infinity(), 10, std::numeric_limits<int>::max()},
        {std::numeric_limits<float>::quiet_NaN(), 10, 0},
    };
    for (const auto& c : cases) {
        Attributes list;
        list.set_scaled("v", c.value, c.scale);
        EXPECT_EQ(list.get_type("v"), Value::TYPE_INT);
        EXPECT_EQ(list.get_int("v", 0), c.stored) << c.value;
    }
    Attributes list;
    list.set("v", 1500);
    list.set("null", Value());
    EXPECT_EQ(list.get_scaled("v", 9.0f, 1000), 1.5f);
    EXPECT_EQ(list.get_scaled("v", 9.0f, 0), 9.0f);  // no division by zero
    EXPECT_EQ(list.get_scaled("absent", 9.0f, 1000), 9.0f);
    EXPECT_EQ(list.get_scaled("null", 9.0f, 1000), 0.0f);
}

TEST(MessageAttributes, MergeAndSum) {
    Attributes mine("a=1 b=2");
    const Attributes theirs("b=20 c=30");
    Attributes added = mine;
    added.merge(theirs, false);
    EXPECT_EQ(added.to_string(), "a=1 b=2 c=30 ");
    Attributes replaced = mine;
    replaced.merge(theirs, true);
    EXPECT_EQ(replaced.to_string(), "a=1 b=20 ");
    EXPECT_EQ((mine + theirs).to_string(), "a=1 b=20 c=30 ");
    mine += mine;
    EXPECT_EQ(mine.to_string(), "a=1 b=2 ");
}

TEST(MessageAttributes, TextFormWriter) {
    Attributes list;
    list.set("a", std::string("x y"));
    list.set("b", std::string("1"));
    list.set("c", std::string("q\"\\"));
    list.set("d", std::string());
    EXPECT_EQ(list.to_string(), "a=\"x y\" b=1 c=\"q\\\"\\\\\" d= ");
    EXPECT_EQ(Attributes().to_string(), "");
    EXPECT_EQ(Attributes::quote_value("tab\there"), "tab\there");
    const Attributes back(list.to_string());
    EXPECT_TRUE(back == list);
    EXPECT_EQ(back.get_string("c", ""), "q\"\\");
}

struct TextReadCase {
    const char* text;
    std::vector<std::pair<std::string, std::string>> expected;
};

TEST(MessageAttributes, TextFormReaderQuirksAndBounds) {
    // The reader's rules: blanks separate, "=" starts a value, a closing quote skips one character.
    const TextReadCase cases[] = {
        {"flag", {{"flag", ""}}},
        {"a=1  b=2", {{"", ""}, {"a", "1"}, {"b", "2"}}},
        {"a=\"x\"y=1", {{"", "1"}, {"a", "x"}}},
        {"a=\"unterminated", {{"a", "unterminated"}}},
        {"a=\"", {{"a", ""}}},
        {"a=\"\\", {{"a", ""}}},
        {"a=\"x\\", {{"a", "x"}}},
        {"a=", {{"a", ""}}},
        {"=", {{"", ""}}},
        {"a=1 a=2", {{"a", "2"}}},
        {"", {}},
        {" ", {{"", ""}}},
    };
    for (const auto& c : cases) {
        const Attributes list{std::string(c.text)};
        ASSERT_EQ(list.size(), c.expected.size()) << c.text;
        for (const auto& [name, value] : c.expected) {
            EXPECT_TRUE(list.has(name)) << c.text << " lacks '" << name << "'";
            EXPECT_EQ(list.get_type(name), Value::TYPE_STRING) << c.text;
            EXPECT_EQ(list.get_string(name, "?"), value) << c.text << " name '" << name << "'";
        }
    }
    EXPECT_EQ(Attributes(static_cast<const char*>(nullptr)).size(), 0u);
    Attributes kept("old=1");
    kept.parse("new=2");
    EXPECT_EQ(kept.to_string(), "new=2 old=1 ");
}

struct UrlReadCase {
    const char* text;
    std::vector<std::pair<std::string, const char*>> expected;  // null: a null value
};

TEST(MessageAttributes, UrlFormReader) {
    // Pairs at "&", name and value at the first "=", both percent-decoded.
    const UrlReadCase cases[] = {
        {"a=1&b=hello+world&c&d=%41", {{"a", "1"}, {"b", "hello world"}, {"c", nullptr}, {"d", "A"}}},
        {"a=&b=2", {{"a", nullptr}, {"b", "2"}}},
        {"a=b=c", {{"a", "b=c"}}},
        {"&&", {{"", nullptr}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        Attributes list;
        list.parse_url_form(c.text);
        ASSERT_EQ(list.size(), c.expected.size()) << c.text;
        for (const auto& [name, value] : c.expected) {
            ASSERT_TRUE(list.has(name)) << c.text;
            if (value) {
                EXPECT_EQ(list.get_type(name), Value::TYPE_STRING) << c.text;
                EXPECT_EQ(list.get_string(name, ""), value) << c.text;
            } else {
                EXPECT_EQ(list.get_type(name), Value::TYPE_NULL) << c.text;
            }
        }
    }
}

TEST(MessageAttributes, UrlFormWriterRoundTrips) {
    Attributes list;
    list.set("a", Value());
    list.set("b", std::string("x y"));
    EXPECT_EQ(list.to_url_form(), "a&b=x+y");
    EXPECT_EQ(Attributes().to_url_form(), "");
    Attributes unnamed;  // found by fuzzing: "==;&&" read as just the empty name, written as ""
    unnamed.parse_url_form("==;&&");
    ASSERT_EQ(unnamed.size(), 1u);
    EXPECT_EQ(unnamed.to_url_form(), "=");
    Attributes unnamed_back;
    unnamed_back.parse_url_form(unnamed.to_url_form());
    EXPECT_TRUE(unnamed_back == unnamed);

    Attributes awkward;
    awkward.set("k&=+", std::string("a&b=c+d e%"));
    awkward.set("n", 5);
    EXPECT_EQ(awkward.to_url_form(), "k%26%3d%2b=a%26b%3dc%2bd+e%25&n=5");
    Attributes back;
    back.parse_url_form(awkward.to_url_form());
    EXPECT_TRUE(back == awkward);
    EXPECT_EQ(back.get_string("k&=+", ""), "a&b=c+d e%");
}

}  // namespace
