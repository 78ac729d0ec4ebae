#include <gtest/gtest.h>

#include <map>

#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "ipc/base/logger.h"
#include "ipc/message/message.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/exception_text.h"

namespace {

using test_support::error_of;

Message children_named(const std::vector<const char*>& names) {
    Message node;
    for (const char* name : names) node.add_child(name);
    return node;
}

std::string pointer_text(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

using Edit = std::function<void(Message&)>;

struct IndexCase {
    const char* what;
    std::vector<const char*> names;
    Edit edit;
    std::vector<std::string> expected_names;
    // (name, occurrence, expected row); row -1 means the lookup must fail
    std::vector<std::tuple<const char*, unsigned, int>> lookups;
};

TEST(Message, OccurrenceIndexFollowsEveryEdit) {
    // clang-format off
    const IndexCase cases[] = {
        {"append", {"a", "b", "a"}, [](Message&) {}, {"a", "b", "a"}, {{"a", 0, 0}, {"a", 1, 2}, {"a", 2, -1}, {"b", 0, 1}}},
        {"remove row 0", {"a", "b", "a"}, [](Message& m) { m.remove_child(0); }, {"b", "a"}, {{"a", 0, 1}, {"a", 1, -1}, {"b", 0, 0}}},
        {"remove by name", {"a", "b", "a"}, [](Message& m) { m.remove_child("a", 1); }, {"a", "b"}, {{"a", 0, 0}, {"a", 1, -1}}},
        {"remove by node", {"a", "b", "a"}, [](Message& m) { m.remove_child(&m.get_child(1)); }, {"a", "a"}, {{"a", 1, 1}, {"b", 0, -1}}},
        {"insert first", {"a", "b"}, [](Message& m) { m.insert_child(children_named({}), 0).set_name("b"); }, {"b", "a", "b"}, {{"b", 0, 0}, {"b", 1, 2}, {"a", 0, 1}}},
        {"insert middle", {"a", "a"}, [](Message& m) { Message x; x.set_name("a"); m.insert_child(x, 1); }, {"a", "a", "a"}, {{"a", 2, 2}}},
        {"rename child", {"a", "b"}, [](Message& m) { m.get_child(0).set_name("b"); }, {"b", "b"}, {{"b", 0, 0}, {"b", 1, 1}, {"a", 0, -1}}},
        {"assign over child", {"a", "b"}, [](Message& m) { Message x; x.set_name("c"); m.get_child(1) = x; }, {"a", "c"}, {{"c", 0, 1}, {"b", 0, -1}}},
        {"unnamed copy", {"a"}, [](Message& m) { m.add_unnamed_copy(m.get_child(0)); }, {"a", ""}, {{"", 0, 1}}},
        {"copy own children", {"a", "b"}, [](Message& m) { m.add_children_copy(m); }, {"a", "b", "a", "b"}, {{"b", 1, 3}}},
        {"delete children", {"a", "b"}, [](Message& m) { m.delete_children(); }, {}, {{"a", 0, -1}}},
    };
    // clang-format on
    for (const auto& c : cases) {
        Message node = children_named(c.names);
        c.edit(node);
        EXPECT_EQ(node.child_names(), c.expected_names) << c.what;
        for (const auto& lookup : c.lookups) {
            const std::string name = std::get<0>(lookup);
            const unsigned occurrence = std::get<1>(lookup);
            const int row = std::get<2>(lookup);
            EXPECT_EQ(node.child_count(name),
                      static_cast<unsigned>(std::count(c.expected_names.begin(), c.expected_names.end(), name)))
                << c.what;
            if (row < 0) {
                EXPECT_EQ(error_of([&] { node.get_child(name, occurrence); }),
                          "get_child: Failed to find '" + name + "' #" + std::to_string(occurrence))
                    << c.what;
            } else {
                EXPECT_EQ(&node.get_child(name, occurrence), &node.get_child(row)) << c.what << " " << name;
            }
        }
        for (int row = 0; row < node.size(); ++row) {
            EXPECT_EQ(node.get_child(row).parent(), &node) << c.what;
            EXPECT_EQ(node.get_child(row).row(), row) << c.what;
        }
    }
}

// Nodes with many children look names up through an index; small ones scan. Lookups must agree
// with a plain scan across the threshold and through every kind of edit.
TEST(Message, NameLookupsAgreeAcrossTheIndexThreshold) {
    Message node;
    const auto expect_lookups_match_a_scan = [&node](const char* step) {
        std::map<std::string, std::vector<int>> rows;
        for (int row = 0; row < node.size(); ++row) rows[node.get_child(row).name()].push_back(row);
        for (const auto& [name, expected_rows] : rows) {
            ASSERT_EQ(node.child_count(name), expected_rows.size()) << step << " " << name;
            for (size_t n = 0; n < expected_rows.size(); ++n) {
                EXPECT_EQ(&node.get_child(name, static_cast<unsigned>(n)), &node.get_child(expected_rows[n]))
                    << step << " " << name << " #" << n;
            }
        }
        EXPECT_EQ(node.child_count("absent"), 0u) << step;
    };
    for (int i = 0; i < 12; ++i) {
        node.add_child(i % 3 == 0 ? "a" : (i % 3 == 1 ? "b" : "c"));
        expect_lookups_match_a_scan("append");
    }
    Message inserted;
    inserted.set_name("b");
    node.insert_child(inserted, 0);
    expect_lookups_match_a_scan("insert");
    node.get_child(5).set_name("d");
    expect_lookups_match_a_scan("rename");
    for (int i = 0; i < 7; ++i) {
        node.remove_child(0);
        expect_lookups_match_a_scan("remove");
    }
    node.add_child("a");
    expect_lookups_match_a_scan("append after shrinking");
    Message copy = node;
    node = copy;
    expect_lookups_match_a_scan("assignment");
}

TEST(Message, RowErrors) {
    Message node = children_named({"a", "b", "c"});
    const Message& constant = node;
    EXPECT_EQ(error_of([&] { node.get_child(-1); }), "get_child: Child row -1 out of range");
    EXPECT_EQ(error_of([&] { node.get_child(3); }), "get_child: Child row 3 out of range");
    EXPECT_EQ(error_of([&] { constant.get_child(3); }), "get_child: Child index 3 out of range");
    EXPECT_EQ(error_of([&] { node.insert_child(Message(), 3); }), "insert_child: Child row 3 out of range");
    EXPECT_EQ(error_of([&] { node.remove_child(-1); }), "remove_child: Child row -1 out of range");
    EXPECT_EQ(error_of([&] { node.remove_child("x", 0); }), "remove_child: Failed to find 'x' #0");
    EXPECT_EQ(error_of([&] { node.child_value("a", 1); }), "get_child: Failed to find 'a' #1");
    EXPECT_EQ(node.size(), 3);
}

TEST(Message, RemovingAForeignOrNullChildDestroysNothing) {
    Message node = children_named({"a"});
    Message stranger;
    stranger.set_name("s");
    EXPECT_EQ(error_of([&] { node.remove_child(&stranger); }), "remove_child: Child s not found");
    EXPECT_EQ(error_of([&] { node.remove_child(nullptr); }), "remove_child: Child  not found");
    EXPECT_EQ(node.size(), 1);
    EXPECT_EQ(stranger.name(), "s");
}

TEST(Message, ChildByAttribute) {
    Message node;
    node.add_child("peer").attributes().set("id", "7");
    node.add_child("peer");
    node.add_child("peer").attributes().set("id", "");
    node.add_child("other").attributes().set("id", "8");
    EXPECT_EQ(&node.get_child_by_attribute("peer", "id", "7"), &node.get_child(0));
    EXPECT_EQ(&node.get_child_by_attribute("peer", "id", ""), &node.get_child(1));  // absent reads empty
    EXPECT_EQ(error_of([&] { node.get_child_by_attribute("peer", "id", "8"); }),
              "get_child_by_attribute: Failed to find 'peer' where 'id' = '8'");
}

TEST(Message, TypedChildGetters) {
    Message node;
    node.add_value("n", std::string("12"));
    node.add_value("f", 1.5f);
    node.add_value("b", true);
    node.add_value("u", 7u);
    EXPECT_EQ(node.child_int("n", 3), 12);
    EXPECT_EQ(node.child_int("missing", 3), 3);
    EXPECT_EQ(node.child_float("f", 0), 1.5f);
    EXPECT_TRUE(node.child_bool("b", false));
    EXPECT_EQ(node.child_uint("u", 0), 7u);
    EXPECT_EQ(node.child_string("f", "d"), "1.500000");
    EXPECT_EQ(node.child_string("missing", "d"), "d");
}

TEST(Message, ValueAppenders) {
    Message node;
    node.add_value("k", "text").add_value("i", -1).add_null_value("z");
    ASSERT_EQ(node.size(), 3);
    EXPECT_EQ(node.get_child(0).kind(), Message::VALUE);
    EXPECT_EQ(node.get_child(0).value().type(), Message::Value::TYPE_STRING);  // never bool true
    EXPECT_EQ(node.get_child(0).value().to_string(), "text");
    EXPECT_EQ(node.get_child(1).value().to_int(), -1);
    EXPECT_FALSE(node.get_child(2).value().is_set());

    Message array;
    array.set_kind(Message::ARRAY);
    ipc_logger();  // built before the capture: its constructor writes a record of its own
    test_support::CapturedQtMessages log;
    array.add_value("a").add_value(2u).add_value();
    Message& element = array.add_element();
    EXPECT_EQ(array.size(), 4);
    EXPECT_EQ(&element, &array.get_child(3));
    EXPECT_EQ(array.get_child(0).value().type(), Message::Value::TYPE_STRING);
    EXPECT_EQ(array.get_child(0).name(), "");
    EXPECT_TRUE(log.records().empty());

    Message object;
    object.add_value(false);
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records()[0], "warning: adding array value to non-array typed message");
    EXPECT_EQ(object.size(), 1);
    EXPECT_EQ(object.add_array("x").kind(), Message::ARRAY);
}

Message sample_tree() {
    Message root;
    root.set_name("root");
    root.value().set(5);
    root.attributes().set("id", 1);
    Message& child = root.add_child("child");
    child.attributes().set("name", "c");
    child.add_child("grand").attributes().set("x", "1");
    root.add_value("v", 2.5f);
    return root;
}

TEST(Message, DeepCopyIsIndependent) {
    Message source = sample_tree();
    Message copy(source);
    EXPECT_TRUE(copy == source);
    EXPECT_EQ(copy.parent(), nullptr);
    EXPECT_EQ(copy.get_child(0).parent(), &copy);
    EXPECT_NE(&copy.get_child(0), &source.get_child(0));
    copy.get_child(0).get_child(0).attributes().set("x", "2");
    EXPECT_TRUE(copy != source);
    EXPECT_EQ(source.get_child(0).get_child(0).attributes().get_string("x", ""), "1");

    const Message child_copy(source.get_child(0));
    EXPECT_EQ(child_copy.parent(), nullptr);
    EXPECT_EQ(child_copy.row(), -1);

    Message kinded = source;
    kinded.set_kind(Message::ARRAY);
    EXPECT_TRUE(kinded == source);  // the kind takes no part
}

TEST(Message, AssignmentIsSafeOnItselfAndItsChildren) {
    Message node = sample_tree();
    const Message before = node;
    const Message& same = node;
    node = same;
    EXPECT_TRUE(node == before);

    node = node.get_child(0);  // a node below the target
    EXPECT_EQ(node.name(), "child");
    ASSERT_EQ(node.size(), 1);
    EXPECT_EQ(node.get_child(0).parent(), &node);
    EXPECT_EQ(node.get_child(0).name(), "grand");

    Message holder;
    Message& slot = holder.add_child("slot");
    slot = before;
    EXPECT_EQ(slot.parent(), &holder);  // keeps its own parent
    EXPECT_EQ(holder.child_count("root"), 1u);
    EXPECT_EQ(slot.get_child(0).parent(), &slot);

    Message moved(std::move(slot));
    EXPECT_TRUE(moved == before);
    EXPECT_EQ(moved.parent(), nullptr);
    EXPECT_EQ(moved.get_child(0).parent(), &moved);
    EXPECT_EQ(holder.child_count(""), 1u);
}

TEST(Message, ClearContentsKeepsNameValueAndKind) {
    Message node = sample_tree();
    node.set_kind(Message::ARRAY);
    node.clear_contents();
    EXPECT_EQ(node.size(), 0);
    EXPECT_EQ(node.attributes().size(), 0u);
    EXPECT_EQ(node.name(), "root");
    EXPECT_EQ(node.value().to_int(), 5);
    EXPECT_EQ(node.kind(), Message::ARRAY);
    EXPECT_EQ(node.child_count("child"), 0u);
}

TEST(Message, Equality) {
    const Message a = sample_tree();
    Message b = a;
    b.get_child(0).value().set("x");
    EXPECT_TRUE(a != b);
    Message c = a;
    c.add_child("extra");
    EXPECT_TRUE(a != c);
    Message d = a;
    d.attributes().set("id", std::string("1"));  // int 1 and "1" are equal values
    EXPECT_TRUE(a == d);
    EXPECT_TRUE(Message() == Message());
    EXPECT_FALSE(a == Message());
}

Message path_tree() {
    // group / (name=a) / (name=b), plus a dotted key "c.d" and a sibling without a name
    Message root;
    root.set_name("group");
    Message& a = root.add_child("node");
    a.attributes().set("name", "a");
    a.add_child("node").attributes().set("name", "b");
    Message& dotted = root.add_child("node");
    dotted.attributes().set("name", "c.d");
    dotted.add_child("node").attributes().set("name", "e");
    root.add_child("node");
    return root;
}

struct PathCase {
    const char* path;
    std::vector<int> rows;  // rows from the root down to the expected node; empty: not found
};

TEST(Message, FindNodeByPath) {
    const Message root = path_tree();
    // clang-format off
    const PathCase cases[] = {
        {"a", {0}},
        {"a.b", {0, 0}},
        {"c.d", {1}},
        {"c.d.e", {1, 0}},
        {"c", {1}},  // the first part of a dotted key ends the path
        {"a.x", {}},
        {"b", {}},
        {"", {}},
    };
    // clang-format on
    for (const auto& c : cases) {
        const Message* expected = nullptr;
        if (!c.rows.empty()) {
            expected = &root;
            for (const int row : c.rows) expected = &expected->get_child(row);
        }
        EXPECT_EQ(root.find_node_by_path(c.path), expected) << c.path;
    }
    // Searching from the "group" node's child finds the same; a root without "name" does not.
    EXPECT_EQ(root.get_child(0).find_node_by_path("a.b"), &root.get_child(0).get_child(0));
    Message anonymous;
    anonymous.add_child("x").attributes().set("name", "a");
    EXPECT_EQ(anonymous.find_node_by_path("a"), nullptr);
}

TEST(Message, RemoveNodeByPath) {
    Message root = path_tree();
    root.remove_node_by_path("a.b");
    EXPECT_EQ(root.get_child(0).size(), 0);
    EXPECT_EQ(error_of([&] { root.remove_node_by_path("a.b"); }), "remove_node_by_path: Path a.b not found");

    // A path naming the node itself never destroys it, root or not.
    Message& a = root.get_child(0);
    EXPECT_EQ(error_of([&] { a.remove_node_by_path("a"); }), "remove_child: Child node not found");
    Message lone;
    lone.set_name("lone");
    lone.attributes().set("name", "x");
    EXPECT_EQ(error_of([&] { lone.remove_node_by_path("x"); }), "remove_child: Child lone not found");
    EXPECT_EQ(root.size(), 3);
    EXPECT_EQ(a.attributes().get_string("name", ""), "a");
}

struct QueryCase {
    const char* query;
    std::vector<std::string> ids;  // the "id" attributes of the selected nodes, in order
};

TEST(Message, FindPath) {
    Message root;
    for (const char* id : {"1", "7", "3"}) {
        Message& peer = root.add_child("peer");
        peer.attributes().set("id", id);
        if (std::string(id) != "3") peer.attributes().set("enabled", true);
        peer.add_child("channel").attributes().set("id", std::string(id) + "c");
    }
    root.add_child("other").attributes().set("id", "o");
    const QueryCase cases[] = {
        {"peer", {"1", "7", "3"}},
        {"peer[1]", {"7"}},
        {"peer[5]", {}},
        {"peer[-1]", {}},
        {"peer[@id='7'].channel", {"7c"}},
        {"*[@enabled]", {"1", "7"}},
        {"*", {"1", "7", "3", "o"}},
        {"peer[", {"1", "7", "3"}},
        {"peer[@enabled][1]", {"7"}},
        {"peer.channel", {"1c", "7c", "3c"}},
        {"nothing", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> ids;
        for (const Message* node : static_cast<const Message&>(root).find_path(c.query)) {
            ids.push_back(node->attributes().get_string("id", ""));
        }
        EXPECT_EQ(ids, c.ids) << c.query;
        EXPECT_EQ(root.find_path(c.query).size(), c.ids.size()) << c.query;
    }
}

TEST(Message, DumpLines) {
    ipc_logger();
    test_support::CapturedQtMessages log;
    const Message empty;
    empty.dump(4);
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records()[0], "\t\t\t(this=" + pointer_text(&empty) + ", parent=" + pointer_text(nullptr) +
                                    ", row=-1, level=0, type=OBJECT)");

    log.clear();
    Message node;
    node.set_name("n");
    node.attributes().set("k", 1);
    node.add_value("s", "x");
    node.add_null_value("z");
    node.dump(4, 0, 2);
    const std::string child0 = pointer_text(&node.get_child(0));
    const std::string parent = pointer_text(&node);
    ASSERT_EQ(log.records().size(), 4u);
    EXPECT_EQ(log.records()[0].substr(0, 5), "  n\t\t");
    EXPECT_EQ(log.records()[1], "   k=1");
    EXPECT_EQ(log.records()[2], "    s: \"x\"\t\t\t(this=" + child0 + ", parent=" + parent +
                                    ", row=0, level=4, type=VALUE, value_type=string)");
    EXPECT_EQ(log.records()[3].substr(0, 11), "    z: null");

    log.clear();
    node.dump(6);  // above the category's level
    EXPECT_TRUE(log.records().empty());
}

}  // namespace
