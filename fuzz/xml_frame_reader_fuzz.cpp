// The frame reader (Message::parse_from_peer) beside the QXmlStreamReader reader it replaced
// (parse_from_peer_by_stream_reader) on the same bytes: both must refuse, or both must give the
// same result code and the same tree, node for node: names, value types and texts, attribute names,
// types and texts, child order; and both must have read bytes outside UTF-8 as Latin-1, or neither.
// One difference passes: a pseudo attribute repeated in the XML declaration, which the frame reader
// refuses and the stream reader takes the last of.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ipc/base/exception.h"
#include "ipc/message/message.h"

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "readers differ: %s\n", what);
    std::abort();
}

void require_same_value(const Message::Value& a, const Message::Value& b, const char* what) {
    require(a.type() == b.type(), what);
    require(a.to_string() == b.to_string(), what);
}

void require_same_tree(const Message& a, const Message& b) {
    require(a.name() == b.name(), "name");
    require_same_value(a.value(), b.value(), "value");
    require(a.attributes().size() == b.attributes().size(), "attribute count");
    auto theirs = b.attributes().begin();
    for (const auto& entry : a.attributes()) {
        require(entry.first == theirs->first, "attribute name");
        require_same_value(entry.second, theirs->second, "attribute value");
        ++theirs;
    }
    require(a.size() == b.size(), "child count");
    for (int row = 0; row < a.size(); ++row) require_same_tree(a.get_child(row), b.get_child(row));
}

struct Outcome {
    Message tree;
    int code = 0;
    bool is_refused = false;
    bool has_read_latin1 = false;
    std::string error;
};

template <typename Read>
Outcome outcome_of(Read read) {
    Outcome outcome;
    try {
        outcome.code = read(outcome.tree, &outcome.has_read_latin1);
    } catch (const Exception& error) {
        outcome.is_refused = true;
        outcome.error = error.what();
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const Outcome frame = outcome_of(
        [&](Message& tree, bool* has_read_latin1) { return tree.parse_from_peer(bytes, size, has_read_latin1); });
    const Outcome reference = outcome_of([&](Message& tree, bool* has_read_latin1) {
        return tree.parse_from_peer_by_stream_reader(bytes, size, has_read_latin1);
    });
    const bool is_repeat_refused =
        frame.is_refused && frame.error.find("pseudo attribute is repeated") != std::string::npos;
    if (is_repeat_refused && !reference.is_refused) return 0;
    if (frame.is_refused != reference.is_refused) {
        std::fprintf(stderr, "frame reader: %s\nstream reader: %s\n", frame.is_refused ? frame.error.c_str() : "read",
                     reference.is_refused ? reference.error.c_str() : "read");
        require(false, "one refuses");
    }
    if (frame.is_refused) return 0;
    require(frame.code == reference.code, "result code");
    require(frame.has_read_latin1 == reference.has_read_latin1, "read as Latin-1");
    require_same_tree(frame.tree, reference.tree);
    return 0;
}
