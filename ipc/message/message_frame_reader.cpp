// The frame reader: how Message::parse_from_peer reads the XML document a peer sends (one xmls
// frame, or the body of another peer protocol), in one pass over its bytes and without
// QXmlStreamReader. Names and attribute values stay views into the document until they are copied
// into the tree; entity and character references are decoded only where a value holds one.
//
// It reads what parse_from_peer_by_stream_reader (Message's QXmlStreamReader reader) reads, into
// the same tree, and refuses what that refuses; the differential fuzz target xml_frame_reader
// holds the two to it. So this follows that reader where XML leaves room, and where the Qt reader
// goes its own way:
//  - namespaces are processed: a prefix must be declared (xmlns:p="..." on the element or above
//    it, or in the XML declaration, where that reader takes them too), names lose their prefix,
//    and two attributes are the same when their local names and namespaces are; of two attributes
//    with one local name in different namespaces the later one is kept, as for any decoded list;
//  - attribute names are checked as our writer checks them, element names as NCNames, namespace
//    prefixes of attributes not at all; a name longer than 4096 UTF-16 units is refused;
//  - in element attribute values every tab, line break and carriage return (a CR LF pair counts
//    once) becomes a blank, in the XML declaration's values none does;
//  - a character reference is "&#" digits ";" or "&#x" hex digits ";", read as QString::toUInt
//    reads the digits (white space around them, and "0x" after the "x", pass);
//  - "]]>" in character data is refused as that reader refuses it: when the ">" and the "]" before
//    it stand in the text, that "]" is not the first character after markup, and the "]" before
//    it stands in the text or comes from a character reference;
//  - a processing instruction without data ("<?t?>") may have any name but "xml";
//  - a pseudo attribute repeated in the XML declaration is refused as repeated, whatever the
//    values, where that reader takes the last (the one difference the differential target lets
//    pass).
// Everything else is plain XML 1.0: one root element, white space, comments and processing
// instructions around it, an XML declaration only at the very start (after a byte order mark).

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "ipc/message/message.h"
#include "ipc/message/xml_frame_scanner.h"
#include "ipc/message/xml_name.h"

using namespace xml_frame;

namespace {

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";
// Scratch lists grown past this many entries by one document are given back afterwards.
constexpr size_t kKeptScratchEntries = 256;

// name == "xmlns", without a call to memcmp for every name of five letters.
bool is_xmlns(std::string_view name) {
    return name.size() == 5 && name[0] == 'x' && name[1] == 'm' && name[2] == 'l' && name[3] == 'n' && name[4] == 's';
}

// a < b byte for byte. Attribute names are short and neighbours part early: a loop beats a call to
// memcmp.
bool is_before(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    }
    return a.size() < b.size();
}

// An attribute of the start tag being read, as ranges of the document.
struct PendingAttribute {
    std::string_view name;   // the local name
    std::string_view value;  // between the quotes, as written
    bool is_plain;           // the value is its own text: no reference, no white space to turn into blanks
};

// Lists a document needs while it is read, kept per thread so that a frame costs no allocation
// for them.
struct Scratch {
    struct Namespace {
        std::string_view prefix;  // into the document
        std::string uri;
        size_t shadowed;  // the declaration of the same prefix it hides, or kNone
    };
    static constexpr size_t kNone = SIZE_MAX;
    struct Prefixed {
        size_t row;               // in the start tag's attributes
        std::string_view prefix;  // into the document
    };
    std::vector<PendingAttribute> attributes;  // of the start tag being read, in document order
    std::vector<Prefixed> prefixed;            // those of them with a prefix
    std::vector<Namespace> namespaces;         // declared prefixes in scope, innermost last
    // The innermost declaration of each prefix in `namespaces`: a hostile frame may declare many,
    // and a search of the list for each prefixed attribute would then cost their product.
    std::unordered_map<std::string_view, size_t> innermost;

    void release_large() {
        if (attributes.capacity() > kKeptScratchEntries) std::vector<PendingAttribute>().swap(attributes);
        if (prefixed.capacity() > kKeptScratchEntries) std::vector<Prefixed>().swap(prefixed);
        if (namespaces.capacity() > kKeptScratchEntries) std::vector<Namespace>().swap(namespaces);
        if (innermost.bucket_count() > kKeptScratchEntries) decltype(innermost)().swap(innermost);
    }
};

}  // namespace

class Message::FrameReader : private Scanner {
public:
    FrameReader(std::string_view document, Scratch& scratch) : Scanner(document), scratch_(scratch) {
        scratch_.namespaces.clear();
        if (!scratch_.innermost.empty()) scratch_.innermost.clear();  // clear() writes every bucket
    }

    void read(Message& root) {
        // XML lets a UTF-8 document open with a byte order mark, and the stream reader takes one.
        if (is_at("\xEF\xBB\xBF")) p_ += 3;
        if (is_at("<?xml") && p_ + 5 < end_ && (kBytes.of[p_[5]] & kSpace)) read_declaration();
        read_misc(false);
        read_tree(root);
        read_misc(true);
    }

private:
    // Trivial, so that the stack of them costs nothing until used.
    struct OpenElement {
        Message* node;
        const char* qualified_name;  // as written, into the document
        size_t qualified_length;
        size_t namespace_count;  // declarations in scope outside this element

        static OpenElement of(Message& node, std::string_view qualified, size_t namespace_count) {
            return {&node, qualified.data(), qualified.size(), namespace_count};
        }
    };

    // Namespaces.

    // An xmlns or xmlns:prefix attribute with its decoded value; false for any other name.
    bool declare_namespace(const Name& name, std::string& uri) {
        if (name.prefix.empty() && name.local == "xmlns") {
            if (uri == kXmlnsNamespace || uri == kXmlNamespace) fail("Illegal namespace declaration.");
            return true;  // a default namespace: no attribute has one, and elements keep no namespace
        }
        if (name.prefix != "xmlns") return false;
        if ((name.local == "xml") != (uri == kXmlNamespace) || uri == kXmlnsNamespace || uri.empty() ||
            name.local == "xmlns") {
            fail("Illegal namespace declaration.");
        }
        const auto [innermost, is_first] = scratch_.innermost.try_emplace(name.local, scratch_.namespaces.size());
        const size_t shadowed = is_first ? Scratch::kNone : innermost->second;
        innermost->second = scratch_.namespaces.size();
        scratch_.namespaces.push_back({name.local, std::move(uri), shadowed});
        return true;
    }

    // Drops the declarations made since there were `count`, as an element closes.
    void close_namespaces(size_t count) {
        while (scratch_.namespaces.size() > count) {
            const Scratch::Namespace& dropped = scratch_.namespaces.back();
            if (dropped.shadowed == Scratch::kNone) {
                scratch_.innermost.erase(dropped.prefix);
            } else {
                scratch_.innermost[dropped.prefix] = dropped.shadowed;
            }
            scratch_.namespaces.pop_back();
        }
    }

    // The namespace a prefix stands for, in the elements open now; an undeclared prefix is refused.
    std::string_view namespace_of(std::string_view prefix) const {
        const auto found = scratch_.innermost.find(prefix);
        if (found != scratch_.innermost.end()) return scratch_.namespaces[found->second].uri;
        if (prefix == "xml") return kXmlNamespace;
        fail("Namespace prefix '" + std::string(prefix) + "' not declared");
    }

    // The XML declaration.

    void read_declaration() {
        p_ += 5;
        skip_space();
        if (!is_at("version")) fail_unexpected();
        p_ += 7;
        expect_equals();
        if (p_ == end_) fail_premature();
        const unsigned char quote = *p_;
        if ((quote != '"' && quote != '\'') || !is_at(std::string(1, static_cast<char>(quote)) + "1.0")) {
            fail("Unsupported XML version.");
        }
        p_ += 4;
        expect(quote);
        std::optional<std::string> encoding;
        std::optional<std::string> standalone;
        while (true) {
            const bool has_space = skip_space();
            if (is_at("?>")) break;
            if (!has_space) fail_unexpected();
            const Name name = scan_name(true);
            expect_equals();
            std::string value;
            read_value(value, false);
            if (declare_namespace(name, value)) continue;
            if (name.qualified == "encoding") {
                if (encoding) fail_repeated(name);
                if (standalone) fail("The standalone pseudo attribute must appear after the encoding.");
                encoding = std::move(value);
            } else if (name.qualified == "standalone") {
                if (standalone) fail_repeated(name);
                standalone = std::move(value);
            } else if (name.qualified == "version") {
                fail_repeated(name);
            } else {
                fail("Invalid attribute in XML declaration.");
            }
        }
        // Judged once the declaration is whole, so that a repeat is refused as one whatever the
        // first of it holds (see fail_repeated).
        if (encoding && !ipc_equal_ignoring_case(*encoding, "UTF-8"))
            fail("Encoding " + *encoding + " is not accepted.");
        if (standalone && *standalone != "yes" && *standalone != "no") fail("Standalone accepts only yes or no.");
        p_ += 2;
    }

    // A declaration that repeats a pseudo attribute is not well-formed, and is refused whatever its
    // values. QXmlStreamReader takes the last of the repeat instead, and so reads a document whose
    // first value it would refuse alone (encoding="UTF-8." then encoding="UTF-8"); which of the two
    // the peer meant is not ours to guess, and taking either would read a frame XML calls broken.
    // Refusing every repeat as a repeat keeps the two readers' one difference that and nothing else.
    [[noreturn]] void fail_repeated(const Name& name) const {
        fail("The " + std::string(name.qualified) + " pseudo attribute is repeated.");
    }

    // Comments, processing instructions, CDATA.

    // Takes characters up to and including `terminator`, each checked; returns where it began.
    const unsigned char* skip_to(std::string_view terminator) {
        while (true) {
            if (p_ == end_) fail_premature();
            if (*p_ == static_cast<unsigned char>(terminator[0]) && is_at(terminator)) {
                const unsigned char* found = p_;
                p_ += terminator.size();
                return found;
            }
            take_character();
        }
    }

    void read_comment() {
        p_ += 4;  // "<!--"
        skip_to("--");
        expect('>');
    }

    void read_processing_instruction() {
        p_ += 2;  // "<?"
        const Name target = scan_name(false);
        const bool is_xml = ipc_equal_ignoring_case(target.local, "xml");
        if (p_ == end_) fail_premature();
        if (*p_ == '?') {
            ++p_;
            expect('>');
        } else if (skip_space()) {
            skip_to("?>");
            if (!xml_is_ncname(target.local)) fail("Invalid processing instruction name.");
        } else {
            fail_unexpected();
        }
        if (is_xml) fail("XML declaration not at start of document.");
    }

    // Outside the root element: white space, comments and processing instructions, up to the
    // root's start tag (`is_after_root` false) or to the end.
    void read_misc(bool is_after_root) {
        while (true) {
            skip_space();
            if (p_ == end_) {
                if (is_after_root) return;
                fail_premature();
            }
            if (*p_ != '<') fail(is_after_root ? "Extra content at end of document." : "Start tag expected.");
            if (p_ + 1 == end_) fail_premature();
            if (p_[1] == '?') {
                read_processing_instruction();
            } else if (is_at("<!--")) {
                read_comment();
            } else if (is_at("<!DOCTYPE")) {
                fail("Document type declarations are not accepted.");
            } else if (is_after_root || p_[1] == '!' || p_[1] == '/') {
                fail(is_after_root ? "Extra content at end of document." : "Start tag expected.");
            } else {
                return;
            }
        }
    }

    // Elements.

    // Reads the rest of the start tag of `node` after its name; returns whether the element is
    // empty ("/>"). The element's namespace declarations are added to those in scope. Attributes
    // stay ranges of the document until the tag is whole; then each name and value is built once,
    // where it stays.
    bool read_start_tag(Message& node, const Name& name) {
        std::vector<PendingAttribute>& pending = scratch_.attributes;
        pending.clear();
        scratch_.prefixed.clear();
        bool is_ordered = true;  // local names strictly ascending, as our writer writes them
        bool is_empty;
        while (true) {
            const bool has_space = skip_space();
            if (p_ == end_) fail_premature();
            if (*p_ == '>') {
                ++p_;
                is_empty = false;
                break;
            }
            if (*p_ == '/') {
                ++p_;
                expect('>');
                is_empty = true;
                break;
            }
            if (!has_space) fail_unexpected();
            const Name attribute = scan_name(true);
            expect_equals();
            if (is_xmlns(attribute.local) || is_xmlns(attribute.prefix)) {
                std::string uri;
                read_value(uri, true);
                if (!declare_namespace(attribute, uri)) {
                    fail("Invalid attribute name 'xmlns'.");  // p:xmlns names no attribute we can write back
                }
                continue;
            }
            if (!attribute.is_ascii_ncname && !xml_is_attribute_name(attribute.local)) {
                fail("Invalid attribute name '" + std::string(attribute.local) + "'.");
            }
            if (!pending.empty() && !is_before(pending.back().name, attribute.local)) is_ordered = false;
            if (!attribute.prefix.empty()) scratch_.prefixed.push_back({pending.size(), attribute.prefix});
            bool is_plain;
            const std::string_view value = scan_value(is_plain);
            pending.push_back({attribute.local, value, is_plain});
        }
        if (!name.is_ascii_ncname &&
            ((!name.prefix.empty() && !xml_is_ncname(name.prefix)) || !xml_is_ncname(name.local))) {
            fail("Invalid XML name.");
        }
        if (!name.prefix.empty()) namespace_of(name.prefix);
        if (pending.empty()) return is_empty;
        std::vector<MessageAttributes::Entry>& attributes = node.attributes_.entries_;
        attributes.reserve(pending.size());
        for (const PendingAttribute& attribute : pending) {
            MessageValue& value =
                attributes
                    .emplace_back(std::piecewise_construct, std::forward_as_tuple(attribute.name),
                                  std::forward_as_tuple(attribute.is_plain ? attribute.value : std::string_view()))
                    .second;
            if (!attribute.is_plain) decode_value(attribute.value, value.text_, true);
        }
        if (!scratch_.prefixed.empty() || !is_ordered) check_attributes(node.attributes_, is_ordered);
        return is_empty;
    }

    // The start tag's attributes when they are not simply in order: prefixes must be declared,
    // no two may share a local name and a namespace (none for both when unprefixed), and of two
    // that share a local name the later stays, as for any decoded list.
    void check_attributes(MessageAttributes& list, bool is_ordered) {
        const std::vector<MessageAttributes::Entry>& attributes = list.entries_;
        std::vector<std::string_view> namespaces(attributes.size());  // empty when unprefixed
        for (const Scratch::Prefixed& attribute : scratch_.prefixed) {
            namespaces[attribute.row] = namespace_of(attribute.prefix);
        }
        if (is_ordered) return;
        std::vector<size_t> order(attributes.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        const auto key = [&](size_t i) { return std::make_pair(std::string_view(attributes[i].first), namespaces[i]); };
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
        for (size_t i = 1; i < order.size(); ++i) {
            if (key(order[i - 1]) == key(order[i])) fail("Attribute '" + attributes[order[i]].first + "' redefined.");
        }
        list.restore_order();
    }

    void read_end_tag(const OpenElement& element) {
        p_ += 2;  // "</"
        const Name name = scan_name(true);
        if (name.qualified != std::string_view(element.qualified_name, element.qualified_length)) {
            fail("Opening and ending tag mismatch.");
        }
        skip_space();
        expect('>');
    }

    // Character data up to the next "<" is appended to the node's value; `is_in_text` tells whether
    // a run of it is already under way (else the run replaces the value when it brings anything).
    void read_text(Message& node, bool& is_in_text) {
        const unsigned char* const run_start = p_;  // "]]>" counts within one run between markup
        const unsigned char* bracket_reference_end = nullptr;
        const unsigned char* copied = p_;
        std::string* text = is_in_text ? &node.value_.text_ : nullptr;
        const auto append = [&](const unsigned char* last) {
            if (last == copied) return;
            if (!text) begin_text(node, is_in_text, text);
            text->append(reinterpret_cast<const char*>(copied), static_cast<size_t>(last - copied));
        };
        while (true) {
            p_ = skip_until(p_, end_, kTextStop | kSpecial);
            if (p_ == end_) fail_premature();
            switch (*p_) {
            case '<': append(p_); return;
            case '&': {
                append(p_);
                if (!text) begin_text(node, is_in_text, text);
                if (read_reference(*text) == ']') bracket_reference_end = p_;
                copied = p_;
                break;
            }
            case '\r':
                append(p_);
                if (!text) begin_text(node, is_in_text, text);
                *text += '\n';
                ++p_;
                if (p_ < end_ && *p_ == '\n') ++p_;
                copied = p_;
                break;
            case '>':
                if (p_ - 1 > run_start && p_[-1] == ']' && (p_[-2] == ']' || bracket_reference_end == p_ - 1)) {
                    fail("Sequence ']]>' not allowed in content.");
                }
                ++p_;
                break;
            default: take_special();
            }
        }
    }

    void begin_text(Message& node, bool& is_in_text, std::string*& text) {
        node.value_.type_ = MessageValue::TYPE_STRING;
        node.value_.text_.clear();
        is_in_text = true;
        text = &node.value_.text_;
    }

    // A CDATA section after "<![CDATA[": its text joins the node's value, even when empty.
    void read_cdata(Message& node, bool& is_in_text) {
        std::string* text = is_in_text ? &node.value_.text_ : nullptr;
        if (!text) begin_text(node, is_in_text, text);
        p_ += 9;
        const unsigned char* copied = p_;
        while (true) {
            if (p_ == end_) fail_premature();
            if (*p_ == ']' && is_at("]]>")) {
                text->append(reinterpret_cast<const char*>(copied), static_cast<size_t>(p_ - copied));
                p_ += 3;
                return;
            }
            if (*p_ == '\r') {
                text->append(reinterpret_cast<const char*>(copied), static_cast<size_t>(p_ - copied));
                *text += '\n';
                ++p_;
                if (p_ < end_ && *p_ == '\n') ++p_;
                copied = p_;
                continue;
            }
            take_character();
        }
    }

    // The root element at p_ ("<") and everything in it, without recursion.
    void read_tree(Message& root) {
        OpenElement open[kMaxDepth];
        ++p_;
        const Name root_name = scan_name(true);
        root.name_.assign(root_name.local.data(), root_name.local.size());
        const size_t outer_namespaces = scratch_.namespaces.size();
        if (read_start_tag(root, root_name)) return;
        open[0] = OpenElement::of(root, root_name.qualified, outer_namespaces);
        int depth = 1;
        bool is_in_text = false;
        while (true) {
            Message& node = *open[depth - 1].node;
            read_text(node, is_in_text);
            // p_ is at "<", and more follows (read_text saw to that only for "<" itself).
            if (p_ + 1 == end_) fail_premature();
            const unsigned char next = p_[1];
            if (next == '/') {
                read_end_tag(open[depth - 1]);
                close_namespaces(open[depth - 1].namespace_count);
                if (--depth == 0) return;
                is_in_text = false;
            } else if (next == '!') {
                if (is_at("<!--")) {
                    read_comment();
                } else if (is_at("<![CDATA[")) {
                    read_cdata(node, is_in_text);
                } else if (is_at("<!DOCTYPE")) {
                    fail("Document type declarations are not accepted.");
                } else {
                    ++p_;
                    fail_unexpected();
                }
            } else if (next == '?') {
                read_processing_instruction();
            } else {
                if (depth == kMaxDepth) fail("Nesting deeper than " + std::to_string(kMaxDepth) + " levels");
                ++p_;
                const Name name = scan_name(true);
                const size_t namespace_count = scratch_.namespaces.size();
                Message& child = node.append_new(std::string(name.local));
                is_in_text = false;
                if (read_start_tag(child, name)) {
                    close_namespaces(namespace_count);
                } else {
                    open[depth++] = OpenElement::of(child, name.qualified, namespace_count);
                }
            }
        }
    }

    Scratch& scratch_;
};

void Message::read_frame_xml(std::string_view document) {
    if (document.size() > kMaxDecodedText) {
        throw Exception("%s: Document of %zu bytes too large", "read_xml_element", document.size());
    }
    thread_local Scratch scratch;
    struct Release {
        Scratch& scratch;
        ~Release() { scratch.release_large(); }
    } release{scratch};
    Message decoded;
    FrameReader(document, scratch).read(decoded);
    absorb(decoded);
}
