#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ipc/message/message_attributes.h"
#include "ipc/message/message_value.h"

class QXmlStreamReader;
class QXmlStreamWriter;

// A node of the message tree: every request, reply, unsolicited event, configuration and schedule
// file is one. A node has a kind, a name (any bytes), one value, an attribute list and children that
// it owns, in row order. A node with more than a few children also keeps an index from child name
// to the rows holding that name, so that lookups by name and occurrence do not scan long lists.
//
// Trees are values: copies are deep, assignment replaces the whole content, and no two trees share
// a node. A node made by an appender belongs to its parent; removing it destroys it, and rows of
// later siblings change. Lookups that take a default never throw; everything else reports failure
// with Exception, whose text begins with the operation's name, and leaves the tree as it was.
//
// Threads: none of its own. A tree is used by one thread at a time; hand over whole trees or copies.
//
// Encodings: XML (names, attribute texts and child order survive) and the compact binary form
// (names, typed attributes, node values as text and child order survive). Neither keeps the kind:
// every decoded node is an OBJECT. Decoders refuse nesting deeper than kMaxDepth levels.
class Message {
public:
    using Value = MessageValue;
    using Attributes = MessageAttributes;

    enum Kind : uint32_t { OBJECT = 0, VALUE = 1, ARRAY = 2 };
    // A fixed underlying type: other numbers are valid values, which serialize and write_to_file ignore.
    enum Format : int { COMPACT = 0, XML = 1 };

    // Deepest nesting either decoder accepts and either encoder writes; the root is level 1.
    static constexpr int kMaxDepth = 256;
    // Largest name, text, string attribute or count the compact encoding can carry.
    static constexpr size_t kMaxCompactLength = 65535;
    // Largest message file read_from_file accepts.
    static constexpr int64_t kMaxFileSize = 64 * 1024 * 1024;
    // The XML decoder refuses a document whose names, attribute values and text come to more than
    // kMaxTextExpansion times its own size, or more than kMaxDecodedText bytes (internal entities
    // could otherwise make a few bytes decode to gigabytes).
    static constexpr size_t kMaxTextExpansion = 16;
    static constexpr size_t kMaxDecodedText = 64 * 1024 * 1024;

    Message();
    // Decodes `encoded` as parse() does; the result code is dropped.
    explicit Message(const std::string& encoded);
    Message(const Message& src);
    // Replaces kind, name, value, attributes and children with deep copies of src's; this node
    // keeps its parent. Safe when src is this node or lies inside it.
    Message& operator=(const Message& src);
    // Moving takes the content over; a moved-from node is empty (and renamed "" in its parent).
    Message(Message&& src) noexcept;
    Message& operator=(Message&& src) noexcept;
    ~Message();

    static const char* kind_name(uint32_t kind);

    Kind kind() const { return kind_; }
    void set_kind(Kind kind) { kind_ = kind; }
    Message* parent() const { return parent_; }
    const std::string& name() const { return name_; }
    // Keeps the parent's index in step with the new name.
    void set_name(const std::string& name);
    Value& value() { return value_; }
    const Value& value() const { return value_; }
    Attributes& attributes() { return attributes_; }
    const Attributes& attributes() const { return attributes_; }

    // Appenders; each returns the new child.
    Message& add_child(const std::string& name);
    Message& add_child();
    Message& add_array(const std::string& name);
    Message& add_value_child(const std::string& name);
    Message& add_child_copy(const Message& src);
    Message& add_unnamed_copy(const Message& src);
    void add_children_copy(const Message& src);

    // Named value appenders: append a VALUE child holding the value and return this node.
    Message& add_value(const std::string& name, const std::string& value);
    Message& add_value(const std::string& name, const char* value);  // text, never bool
    template <typename T>
    Message& add_value(const std::string& name, const T*) = delete;
    Message& add_value(const std::string& name, int value);
    Message& add_value(const std::string& name, unsigned value);
    Message& add_value(const std::string& name, float value);
    Message& add_value(const std::string& name, bool value);
    Message& add_null_value(const std::string& name);

    // Array value appenders: append an unnamed VALUE child and return this node (add_element
    // returns the child). On a node that is not an ARRAY they log a warning and append all the same.
    Message& add_value(const std::string& value);
    Message& add_value(const char* value);  // text, never bool
    template <typename T>
    Message& add_value(const T*) = delete;
    Message& add_value(int value);
    Message& add_value(unsigned value);
    Message& add_value(float value);
    Message& add_value(bool value);
    Message& add_value();
    Message& add_element();

    // Inserts a deep copy of src before the child at `row` (0 <= row < size()).
    Message& insert_child(const Message& src, int row);
    void remove_child(int row);
    void remove_child(const std::string& name, unsigned occurrence);
    // Removes and destroys `child`; throws when it is not a child of this node (null included).
    void remove_child(Message* child);
    // Removes the node find_node_by_path finds; throws when none is found or the path names this
    // node itself, which is never destroyed here.
    void remove_node_by_path(const std::string& path);
    // Drops attributes and children; kind, name and value stay.
    void clear_contents();
    // Drops the children; kind, name, value and attributes stay.
    void delete_children();

    int size() const { return static_cast<int>(children_.size()); }
    unsigned child_count(const std::string& name) const;
    // This node's row in its parent, -1 for a root.
    int row() const;
    int index_of(const Message* child) const;
    std::vector<std::string> child_names() const;

    Message& get_child(int row);
    const Message& get_child(int row) const;
    Message& get_child(const std::string& name, unsigned occurrence);
    const Message& get_child(const std::string& name, unsigned occurrence) const;
    Value& child_value(const std::string& name, unsigned occurrence);
    const Value& child_value(const std::string& name, unsigned occurrence) const;
    // The first child named `name` whose attribute `key`, read as text (absent reads empty), equals
    // `value` byte for byte.
    Message& get_child_by_attribute(const std::string& name, const std::string& key, const std::string& value);
    const Message& get_child_by_attribute(const std::string& name, const std::string& key,
                                          const std::string& value) const;

    // Occurrence 0 of `name` converted to the type, or the default when there is no such child.
    bool child_bool(const std::string& name, bool def) const;
    int child_int(const std::string& name, int def) const;
    unsigned child_uint(const std::string& name, unsigned def) const;
    float child_float(const std::string& name, float def) const;
    std::string child_string(const std::string& name, const std::string& def) const;

    // A node of this subtree (this node included) addressed by a dotted path over the "name"
    // attributes; nodes named "group" are passed through. Null when none matches.
    Message* find_node_by_path(const std::string& path);
    const Message* find_node_by_path(const std::string& path) const;
    // The nodes below this one selected by a query such as peer[@id='7'].channel or *[2].
    std::list<Message*> find_path(const std::string& query);
    std::list<const Message*> find_path(const std::string& query) const;

    // Writes the subtree to the global Logger, one line per node and attribute, at `level` in
    // `category`; `indent` blanks lead the first line and grow by 2 per level.
    void dump(int level, int category = 0, int indent = 0) const;

    // Names, values, attributes and children (recursively) equal; kind and parent take no part.
    bool operator==(const Message& other) const;
    bool operator!=(const Message& other) const { return !(*this == other); }

    // XML and files (message_xml.cpp).
    // Format XML replaces `out` with a document; COMPACT appends 0x00 and the compact encoding. On
    // failure `out` holds what it held before (COMPACT) or nothing (XML).
    void serialize(Format format, std::string& out, bool autoformat) const;
    void write_xml(std::string& out, bool autoformat) const;
    // For a writer that lays out a document of its own in write_xml's autoformat: appends this node
    // as that lays it out `depth` levels deep (1 for the root), without the XML declaration; and
    // one attribute, ` name="value"`, escaped as that escapes it.
    void append_xml(std::string& out, int depth) const;
    static void append_xml_attribute(std::string& out, std::string_view name, std::string_view value);
    void write_xml_element(QXmlStreamWriter& writer, bool document) const;
    void write_xml_attributes(QXmlStreamWriter& writer) const;
    // Empties attributes and children, then decodes by the first byte: "<" (or 0x01) XML, returns 1;
    // 0x00 compact, returns 0; empty input returns 1; "{" returns 2; any other byte returns it as a
    // signed char, decoding nothing. Malformed input throws and leaves no partial tree behind.
    int parse(const std::string& data);
    // As parse(), for bytes from the network, read by the frame reader (message_frame_reader.cpp)
    // in one pass over the bytes. A peer's XML document is one whole element of the characters XML
    // allows, at most kMaxDecodedText bytes; a document type declaration is refused wherever it
    // stands, and with it every entity a peer could declare; an XML declaration may name no
    // encoding but UTF-8. Any first byte but "{" and 0x00 opens XML here: white space before the
    // root element is read past; text before it, or no element at all, is refused. Empty input
    // returns 1 with nothing decoded, as for parse().
    //
    // The document is UTF-8, but codecs of older firmware write their texts (names typed on their
    // panel) in Latin-1: a byte that belongs to no well-formed UTF-8 sequence reads as the Latin-1
    // character of that byte (ipc_utf8_with_latin1_bytes). Only a document that failed to read as it
    // came is looked at for such bytes and read again, so well-formed UTF-8 costs nothing more;
    // `has_read_latin1`, when given, tells whether that happened.
    int parse_from_peer(const std::string& data);
    // The same for bytes where they lie (a frame inside a receive buffer), without a copy.
    int parse_from_peer(const char* data, size_t length, bool* has_read_latin1 = nullptr);
    // The same document read through QXmlStreamReader, as parse() reads one: several times slower,
    // and kept as the reference the frame reader is held to (its differential fuzz target, its
    // tests and its benchmark). The one difference: a pseudo attribute repeated in the XML
    // declaration, which this takes the last of and the frame reader refuses.
    int parse_from_peer_by_stream_reader(const char* data, size_t length, bool* has_read_latin1 = nullptr);
    // Reads the document's element into this node without emptying it first.
    void parse_xml(const std::string& data);
    // Reads the element at (or after) the reader's position into this node: the name is replaced,
    // attributes are added, children appended. Stops on that element's end tag. The caller's reader
    // is trusted as far as its input goes: only the kMaxDecodedText cap applies.
    void read_xml_element(QXmlStreamReader& reader);
    void read_xml_attributes(QXmlStreamReader& reader);
    // Atomic: the file is replaced only once completely written (mode 0600); on failure the old
    // file stays as it was and an Exception says why.
    void write_to_file(Format format, const std::string& path) const;
    // Writes bytes such a writer made to a file as write_to_file does.
    static void write_bytes_to_file(const std::string& data, const std::string& path);
    // XML when the file's first byte is "<" (added to this node, as read_xml_file), else decoded as
    // parse() does. Throws when the file cannot be read, is too large or does not decode.
    void read_from_file(const std::string& path);
    void write_xml_file(const std::string& path, bool autoformat) const;
    void read_xml_file(const std::string& path);

    // Compact encoding (message_compact.cpp).
    // Appends the node encoding; refuses (leaving `out` as it was) lengths and counts above 65535.
    void write_compact(std::string& out) const;
    // Decodes the node encoding at buffer[offset..end) into this node (name and value replaced,
    // attributes added, children appended) and returns the offset after it.
    uint32_t parse_compact(const char* buffer, uint32_t offset, uint32_t end);

private:
    // Who reads an XML document for parse_bytes.
    enum class XmlReader { kStreamReader, kPeerStreamReader, kPeerFrameReader };
    int parse_bytes(std::string_view data, XmlReader reader, bool* has_read_latin1);
    // A peer's XML document, read again with its stray bytes as Latin-1 when it fails as it came.
    void read_peer_xml(std::string_view document, XmlReader reader, bool* has_read_latin1);
    // The frame reader's pass over a peer's document, into this node as absorb() takes a tree.
    void read_frame_xml(std::string_view document);

    struct XmlCodec;
    struct CompactCodec;
    class FrameReader;
    friend struct XmlCodec;
    friend struct CompactCodec;

    // The rows of one child name, ascending. Most names occur once under a parent, so the first
    // row is kept inline and only further rows take an allocation.
    class ChildRows {
    public:
        void push_back(int row) {
            if (count_ == 0) {
                first_ = row;
            } else {
                more_.push_back(row);
            }
            ++count_;
        }
        size_t size() const { return count_; }
        int operator[](size_t position) const { return position == 0 ? first_ : more_[position - 1]; }

    private:
        size_t count_ = 0;
        int first_ = 0;
        std::vector<int> more_;
    };
    using RowIndex = std::map<std::string, ChildRows, std::less<>>;

    // Up to this many children a lookup by name scans them. Most nodes have a handful of children,
    // and an index costs them an allocation per distinct name, which made up a fifth of the
    // allocations of a parsed configuration, for lookups no faster than the scan. Held through a
    // pointer, the index that most nodes lack costs them 8 bytes rather than an empty map's 48.
    static constexpr size_t kMaxUnindexedChildren = 8;

    // Appends a fresh OBJECT child; the name is moved in.
    Message& append_new(std::string&& name);
    // Appends an already allocated child that this node now owns.
    Message& adopt(Message* child);
    // Takes over a decoded tree: its name, its value when set, its attributes (replacing equal
    // names) and its children (appended). `decoded` is left empty.
    void absorb(Message& decoded);
    void swap_contents(Message& other);
    // Rebuilds rows_by_name_ from the children: made above kMaxUnindexedChildren, else dropped.
    void reindex();
    void remove_at(size_t row);
    // The row of the occurrence-th child named `name`, -1 when there are fewer such children.
    int row_of(std::string_view name, unsigned occurrence) const;
    const Message* find_occurrence(const std::string& name, unsigned occurrence) const;
    void log_array_warning() const;
    static const Message* search_path(const Message& node, const std::vector<std::string>& steps, size_t pos);
    static void query_path(const Message& node, const std::string& query, std::list<const Message*>& out);

    Kind kind_ = OBJECT;
    Message* parent_ = nullptr;  // not owned; null for a root
    std::string name_;
    Value value_;
    Attributes attributes_;
    std::vector<Message*> children_;  // owned, in row order; each child's parent_ is this
    // Rows of each child name, ascending, no empty lists, when there are more children than
    // kMaxUnindexedChildren; null otherwise.
    std::unique_ptr<RowIndex> rows_by_name_;
};
