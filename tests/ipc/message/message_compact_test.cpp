#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ipc/message/message.h"
#include "tests/support/exception_text.h"

namespace {

using test_support::error_of;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) out += static_cast<char>(v);
    return out;
}

std::string compact_of(const Message& message) {
    std::string out;
    message.write_compact(out);
    return out;
}

Message named(const char* name) {
    Message node;
    node.set_name(name);
    return node;
}

struct VectorCase {
    const char* what;
    std::function<Message()> make;
    std::string encoding;
};

TEST(MessageCompact, ExactBytes) {
    // Node: name, value text, attribute count, attributes (name, tag, raw), child count; u16 big-endian.
    const VectorCase cases[] = {
        {"empty node a", [] { return named("a"); }, bytes({0, 1, 'a', 0, 0, 0, 0, 0, 0})},
        {"int attribute n=1",
         [] {
             Message m = named("a");
             m.attributes().set("n", 1);
             return m;
         },
         bytes({0, 1, 'a', 0, 0, 0, 1, 0, 1, 'n', 2, 0, 4, 1, 0, 0, 0, 0, 0})},
        {"bool true and null",
         [] {
             Message m = named("a");
             m.attributes().set("b", true);
             m.attributes().set("z", Message::Value());
             return m;
         },
         bytes({0, 1, 'a', 0, 0, 0, 2, 0, 1, 'b', 5, 0, 1, 1, 0, 1, 'z', 0, 0, 0, 0, 0})},
        {"float and uint",
         [] {
             Message m = named("");
             m.attributes().set("f", 1.5f);
             m.attributes().set("u", 0x01020304u);
             return m;
         },
         bytes({0, 0, 0, 0, 0, 2, 0, 1, 'f', 4, 0, 4, 0, 0, 0xC0, 0x3F, 0, 1, 'u', 3, 0, 4, 4, 3, 2, 1, 0, 0})},
        {"value text and a child",
         [] {
             Message m = named("p");
             m.value().set(5);
             m.add_child("c");
             return m;
         },
         bytes({0, 1, 'p', 0, 1, '5', 0, 0, 0, 1, 0, 1, 'c', 0, 0, 0, 0, 0, 0})},
    };
    for (const auto& c : cases) {
        const Message message = c.make();
        EXPECT_EQ(compact_of(message), c.encoding) << c.what;
        std::string framed;
        message.serialize(Message::COMPACT, framed, false);
        EXPECT_EQ(framed, '\0' + c.encoding) << c.what;
    }
    std::string appended = "xy";
    named("a").serialize(Message::COMPACT, appended, false);
    EXPECT_EQ(appended, "xy" + bytes({0, 0, 1, 'a', 0, 0, 0, 0, 0, 0}));
}

TEST(MessageCompact, DecodedNodesAreObjectsWithStringValues) {
    Message source = named("p");
    source.value().set(5);
    source.set_kind(Message::ARRAY);
    source.add_value("v", 2u);
    source.add_child("empty");
    source.attributes().set("f", 0.25f);
    source.attributes().set("on", true);
    std::string data;
    source.serialize(Message::COMPACT, data, false);

    Message back;
    ASSERT_EQ(back.parse(data), 0);
    EXPECT_TRUE(back == source);
    EXPECT_EQ(back.kind(), Message::OBJECT);
    EXPECT_EQ(back.get_child(0).kind(), Message::OBJECT);
    EXPECT_EQ(back.value().type(), Message::Value::TYPE_STRING);
    EXPECT_EQ(back.value().to_string(), "5");
    EXPECT_EQ(back.get_child(1).value().type(), Message::Value::TYPE_STRING);  // null comes back as ""
    EXPECT_EQ(back.attributes().get_type("f"), Message::Value::TYPE_FLOAT);
    EXPECT_EQ(back.attributes().get_type("on"), Message::Value::TYPE_BOOL);
    EXPECT_EQ(back.get_child(0).parent(), &back);
}

TEST(MessageCompact, ParseCompactReportsTheEndAndIgnoresTrailingBytes) {
    const std::string data = compact_of(named("a")) + "trailing";
    Message node;
    EXPECT_EQ(node.parse_compact(data.data(), 0, static_cast<uint32_t>(data.size())), 9u);
    EXPECT_EQ(node.name(), "a");
    Message framed;
    EXPECT_EQ(framed.parse('\0' + data), 0);
    EXPECT_EQ(framed.name(), "a");
}

struct TruncationCase {
    const char* what;
    std::string data;  // node encoding alone
    const char* error;
};

TEST(MessageCompact, TruncationErrors) {
    const TruncationCase cases[] = {
        {"empty area", "", "get_ushort: message too short"},
        {"one byte", bytes({0}), "get_ushort: message too short"},
        {"inside the name", bytes({0, 5, 'a', 'b'}), "parse_string_compact: message too short len=5"},
        {"before the attribute count", bytes({0, 1, 'a', 0, 0}), "get_ushort: message too short"},
        {"before a type tag", bytes({0, 0, 0, 0, 0, 1, 0, 1, 'n'}), "get_uchar: message too short"},
        {"inside raw bytes", bytes({0, 0, 0, 0, 0, 1, 0, 1, 'n', 2, 0, 4, 1}),
         "parse_string_compact: message too short len=4"},
        {"missing child", bytes({0, 0, 0, 0, 0, 0, 0, 1}), "get_ushort: message too short"},
    };
    for (const auto& c : cases) {
        Message node;
        EXPECT_EQ(error_of([&] { node.parse_compact(c.data.data(), 0, static_cast<uint32_t>(c.data.size())); }),
                  c.error)
            << c.what;
    }
    Message node;
    const std::string data = compact_of(named("a"));
    EXPECT_EQ(error_of([&] { node.parse_compact(data.data(), 7, 3); }), "get_ushort: message too short");
}

TEST(MessageCompact, RefusesUnknownTagsAndOversizedRawValues) {
    struct Case {
        int tag;
        int length;
        const char* error;
    };
    const Case cases[] = {
        {6, 0, "parse_compact: Unknown type tag 6"},
        {255, 0, "parse_compact: Unknown type tag 255"},
        {2, 5, "parse_compact: Raw length 5 too large for type int"},
        {4, 8, "parse_compact: Raw length 8 too large for type float"},
        {5, 2, "parse_compact: Raw length 2 too large for type bool"},
        {0, 1, "parse_compact: Raw length 1 too large for type null"},
    };
    for (const auto& c : cases) {
        std::string data = bytes({0, 0, 0, 0, 0, 1, 0, 1, 'n', c.tag, 0, c.length});
        data += std::string(static_cast<size_t>(c.length), '\x01') + bytes({0, 0});
        Message node;
        EXPECT_EQ(error_of([&] { node.parse_compact(data.data(), 0, static_cast<uint32_t>(data.size())); }), c.error);
    }
    // Short scalars are zero-filled and a bool byte is normalised, so decoding re-encodes canonically.
    const std::string loose = bytes({0, 0, 0, 0, 0, 2, 0, 1, 'b', 5, 0, 1, 7, 0, 1, 'i', 2, 0, 1, 9, 0, 0});
    Message node;
    node.parse_compact(loose.data(), 0, static_cast<uint32_t>(loose.size()));
    EXPECT_TRUE(node.attributes().get_bool("b", false));
    EXPECT_EQ(node.attributes().get_int("i", 0), 9);
    EXPECT_EQ(compact_of(node), bytes({0, 0, 0, 0, 0, 2, 0, 1, 'b', 5, 0, 1, 1, 0, 1, 'i', 2, 0, 4, 9, 0, 0, 0, 0, 0}));
}

TEST(MessageCompact, AttributesComeBackInNameOrderWithTheLastValueOfARepeatedName) {
    // k (string "x"), b (null), k (int 3), a (null): out of order, k repeated.
    const std::string data = bytes({0, 0, 0,   0, 0, 4, 0, 1, 'k', 1, 0, 1, 'x', 0, 1, 'b', 0, 0, 0,
                                    0, 1, 'k', 2, 0, 4, 3, 0, 0,   0, 0, 1, 'a', 0, 0, 0,   0, 0});
    Message node;
    node.parse_compact(data.data(), 0, static_cast<uint32_t>(data.size()));
    EXPECT_EQ(node.attributes().keys(), (std::vector<std::string>{"a", "b", "k"}));
    EXPECT_EQ(node.attributes().get_type("k"), Message::Value::TYPE_INT);
    EXPECT_EQ(node.attributes().get_int("k", 0), 3);
}

Message rich_tree() {
    Message root = named("report");
    root.attributes().set("seq", "42");
    root.attributes().set("level", -12);
    root.attributes().set("gain", 0.5f);
    root.attributes().set("on", false);
    root.attributes().set("null", Message::Value());
    for (int i = 0; i < 3; ++i) {
        Message& meter = root.add_child("meter");
        meter.attributes().set("channel", static_cast<unsigned>(i));
        meter.add_value("peak", -6.0f * static_cast<float>(i));
    }
    root.add_child("").add_child("nested").value().set("text with \0 nul");
    return root;
}

TEST(MessageCompact, EveryPrefixThrowsCleanlyAndChangesNothing) {
    const std::string full = compact_of(rich_tree());
    for (size_t length = 0; length < full.size(); ++length) {
        Message node = named("keep");
        node.attributes().set("old", 1);
        node.add_child("old");
        const Message before = node;
        const std::string prefix = full.substr(0, length);
        const std::string error =
            error_of([&] { node.parse_compact(prefix.data(), 0, static_cast<uint32_t>(prefix.size())); });
        EXPECT_NE(error.find("message too short"), std::string::npos) << length << ": " << error;
        EXPECT_TRUE(node == before) << length;
    }
    Message node;
    EXPECT_EQ(node.parse_compact(full.data(), 0, static_cast<uint32_t>(full.size())), full.size());
}

TEST(MessageCompact, DecodeAddsToTheNode) {
    const std::string data = compact_of(rich_tree());
    Message node = named("old");
    node.attributes().set("kept", 1);
    node.attributes().set("seq", 1);
    node.add_child("first");
    node.parse_compact(data.data(), 0, static_cast<uint32_t>(data.size()));
    EXPECT_EQ(node.name(), "report");
    EXPECT_EQ(node.attributes().get_int("kept", 0), 1);
    EXPECT_EQ(node.attributes().get_string("seq", ""), "42");
    EXPECT_EQ(node.child_names(), (std::vector<std::string>{"first", "meter", "meter", "meter", ""}));
    EXPECT_EQ(&node.get_child("meter", 2), &node.get_child(3));
}

TEST(MessageCompact, EncoderRefusesWhatItCannotCarry) {
    struct Case {
        const char* what;
        std::function<void(Message&)> grow;
        const char* error;
    };
    const Case cases[] = {
        {"name", [](Message& m) { m.set_name(std::string(65536, 'n')); },
         "write_compact: Name length of 65536 exceeds 65535"},
        {"value", [](Message& m) { m.value().set(std::string(65536, 'v')); },
         "write_compact: Value length of 65536 exceeds 65535"},
        {"attribute value", [](Message& m) { m.attributes().set("a", std::string(70000, 'a')); },
         "write_compact: Attribute value length of 70000 exceeds 65535"},
        {"attribute name", [](Message& m) { m.attributes().set(std::string(65536, 'k'), 1); },
         "write_compact: Attribute name length of 65536 exceeds 65535"},
        {"children",
         [](Message& m) {
             for (int i = 0; i < 65536; ++i) m.add_child();
         },
         "write_compact: Child count of 65536 exceeds 65535"},
        {"attributes",
         [](Message& m) {
             char name[8];
             for (int i = 0; i < 65536; ++i) {
                 std::snprintf(name, sizeof name, "%05d", i);  // in name order: appended, not inserted
                 m.attributes().set(name, i);
             }
         },
         "write_compact: Attribute count of 65536 exceeds 65535"},
    };
    for (const auto& c : cases) {
        Message root = named("r");
        c.grow(root.add_child("inner"));
        std::string out = "kept";
        EXPECT_EQ(error_of([&] { root.serialize(Message::COMPACT, out, false); }), c.error) << c.what;
        EXPECT_EQ(out, "kept") << c.what;
    }
    Message limit = named("r");
    limit.set_name(std::string(65535, 'n'));
    EXPECT_EQ(compact_of(limit).size(), 2u + 65535u + 6u);
}

std::string nested_compact(int depth) {
    std::string data;
    for (int i = 1; i < depth; ++i) data += bytes({0, 1, 'n', 0, 0, 0, 0, 0, 1});
    data += bytes({0, 1, 'n', 0, 0, 0, 0, 0, 0});
    return data;
}

TEST(MessageCompact, NestingIsCapped) {
    const std::string ok = nested_compact(Message::kMaxDepth);
    Message deep;
    deep.parse_compact(ok.data(), 0, static_cast<uint32_t>(ok.size()));
    EXPECT_EQ(compact_of(deep), ok);
    const std::string too_deep = nested_compact(Message::kMaxDepth + 1);
    EXPECT_EQ(error_of([&] { Message().parse_compact(too_deep.data(), 0, static_cast<uint32_t>(too_deep.size())); }),
              "parse_compact: Nesting deeper than 256 levels");
    std::string hostile;  // a million levels announced in 9 MB: refused long before the stack runs out
    for (int i = 0; i < 1000000; ++i) hostile += bytes({0, 0, 0, 0, 0, 0, 0, 1});
    EXPECT_EQ(error_of([&] { Message().parse_compact(hostile.data(), 0, static_cast<uint32_t>(hostile.size())); }),
              "parse_compact: Nesting deeper than 256 levels");

    Message* bottom = &deep;
    while (bottom->size() > 0) bottom = &bottom->get_child(0);
    bottom->add_child("n");
    EXPECT_EQ(error_of([&] { compact_of(deep); }), "write_compact: Nesting deeper than 256 levels");
}

TEST(MessageCompact, RoundTripsWithXml) {
    const Message source = rich_tree();
    std::string compact;
    source.serialize(Message::COMPACT, compact, false);
    Message from_compact(compact);
    EXPECT_TRUE(from_compact == source);

    std::string xml;
    from_compact.get_child(0).serialize(Message::XML, xml, false);
    const Message from_xml(xml);
    std::string compact_again;
    from_xml.serialize(Message::COMPACT, compact_again, false);
    const Message back(compact_again);
    EXPECT_EQ(back.name(), "meter");
    EXPECT_EQ(back.attributes().get_type("channel"), Message::Value::TYPE_STRING);  // XML keeps text only
    EXPECT_EQ(back.attributes().get_uint("channel", 9), 0u);
    EXPECT_EQ(back.get_child(0).name(), "peak");
}

}  // namespace
