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
//  - a processing instruction without data ("<?t?>") may have any name but "xml".
// Everything else is plain XML 1.0: one root element, white space, comments and processing
// instructions around it, an XML declaration only at the very start.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "ipc/message/message.h"
#include "ipc/message/xml_name.h"
#include "platform/utf16.h"

namespace {

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";
// The longest name QXmlStreamReader takes, in UTF-16 units.
constexpr size_t kMaxNameUnits = 4096;
// Scratch lists grown past this many entries by one document are given back afterwards.
constexpr size_t kKeptScratchEntries = 256;

// What a byte means to the scanners. Every scanner stops on kSpecial: a control character XML does
// not allow (refused wherever it stands) or the lead of a multi-byte sequence (checked, then taken).
enum ByteClass : uint8_t {
    kSpace = 1 << 0,        // blank, tab, line feed, carriage return
    kPunctuation = 1 << 1,  // characters the tokenizer treats apart: no name or reference starts with one
    kDigit = 1 << 2,        // no name starts with one either
    kNameStop = 1 << 3,     // ends a name after its first character
    kTextStop = 1 << 4,     // interrupts plain character data
    kValueStop = 1 << 5,    // interrupts a plain attribute value
    kSpecial = 1 << 6,
};

struct ByteClasses {
    uint8_t of[256] = {};
    ByteClasses() {
        for (int c = 0; c < 0x20; ++c) of[c] = kSpecial;
        for (int c = 0x80; c < 0x100; ++c) of[c] = kSpecial;
        for (const unsigned char c : {' ', '\t', '\n', '\r'}) of[c] = kSpace | kNameStop;
        for (const unsigned char c : std::string_view("&#'\"<>[]()|=%/:;,-+*.?!")) of[c] |= kPunctuation;
        for (int c = '0'; c <= '9'; ++c) of[c] |= kDigit;
        for (const unsigned char c : std::string_view("&#'\"<>[]=%/;?!^|,()+*")) of[c] |= kNameStop;
        for (const unsigned char c : std::string_view("<&>\r")) of[c] |= kTextStop;
        for (const unsigned char c : std::string_view("\"'&<\t\n\r")) of[c] |= kValueStop;
    }
};
const ByteClasses kBytes;

bool is_control(unsigned char byte) {
    return byte < 0x20;  // tab, line feed and carriage return never reach the callers
}

// QChar::isSpace above ASCII: NEL, and the Unicode space, line and paragraph separators.
bool is_unicode_space(char32_t code) {
    return code == 0x85 || code == 0xA0 || code == 0x1680 || (code >= 0x2000 && code <= 0x200A) ||
           code == 0x2028 || code == 0x2029 || code == 0x202F || code == 0x205F || code == 0x3000;
}

bool is_xml_char(uint32_t code) {
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// The digits of a character reference as QString::toUInt reads them in `base`: Unicode white space
// around them is dropped, the rest must be ASCII letters and digits that strtoull reads whole, with
// an optional "0x" in base 16. 0 when they do not read (0 is no character anyway).
uint32_t character_reference_value(std::string_view digits, int base) {
    while (!digits.empty()) {
        char32_t code;
        const size_t length = platform::utf8_sequence_length(digits, 0, code);
        if (!is_unicode_space(code)) break;
        digits.remove_prefix(length);
    }
    while (!digits.empty()) {
        size_t start = digits.size() - 1;
        while (start > 0 && (static_cast<unsigned char>(digits[start]) & 0xC0) == 0x80) --start;
        char32_t code;
        platform::utf8_sequence_length(digits, start, code);
        if (!is_unicode_space(code)) break;
        digits.remove_suffix(digits.size() - start);
    }
    if (base == 16 && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X') &&
        ipc_hex_digit_value(digits[2]) >= 0) {
        digits.remove_prefix(2);
    }
    if (digits.empty()) return 0;
    uint64_t value = 0;
    for (const char c : digits) {
        const int digit = base == 16 ? ipc_hex_digit_value(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) return 0;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > UINT32_MAX) return 0;
    }
    return static_cast<uint32_t>(value);
}

// Lists a document needs while it is read, kept per thread so that a frame costs no allocation
// for them.
struct Scratch {
    struct Namespace {
        std::string_view prefix;  // into the document
        std::string uri;
    };
    std::vector<MessageAttributes::Entry> attributes;  // of the start tag being read, in document order
    std::vector<std::string_view> prefixes;            // of those attributes; empty when unprefixed
    std::vector<Namespace> namespaces;                 // declared prefixes in scope, innermost last
    std::string value;                                 // a namespace declaration's decoded value

    void release_large() {
        if (attributes.capacity() > kKeptScratchEntries) std::vector<MessageAttributes::Entry>().swap(attributes);
        if (prefixes.capacity() > kKeptScratchEntries) std::vector<std::string_view>().swap(prefixes);
        if (namespaces.capacity() > kKeptScratchEntries) std::vector<Namespace>().swap(namespaces);
    }
};

}  // namespace

class Message::FrameReader {
public:
    FrameReader(std::string_view document, Scratch& scratch)
        : begin_(reinterpret_cast<const unsigned char*>(document.data())),
          end_(begin_ + document.size()),
          p_(begin_),
          scratch_(scratch) {
        scratch_.namespaces.clear();
    }

    void read(Message& root) {
        if (is_at("<?xml") && p_ + 5 < end_ && (kBytes.of[p_[5]] & kSpace)) read_declaration();
        read_misc(false);
        read_tree(root);
        read_misc(true);
    }

private:
    struct Name {
        std::string_view prefix;     // empty when the name has no colon
        std::string_view local;
        std::string_view qualified;  // as written
    };
    struct OpenElement {
        Message* node;
        std::string_view qualified_name;
        size_t namespace_count;  // declarations in scope outside this element
    };

    // Errors.

    [[noreturn]] void fail(const std::string& reason) const {
        long long line = 1;
        const unsigned char* line_start = begin_;
        for (const unsigned char* c = begin_; c < p_; ++c) {
            if (*c == '\n' || (*c == '\r' && (c + 1 == p_ || c[1] != '\n'))) {
                ++line;
                line_start = c + 1;
            }
        }
        long long column = 0;
        for (const unsigned char* c = line_start; c < p_; ++c) column += (*c & 0xC0) != 0x80;
        throw Exception("%s: %s at line %lld, column %lld", "read_xml_element", reason.c_str(), line, column);
    }
    [[noreturn]] void fail_premature() const { fail("Premature end of document."); }
    [[noreturn]] void fail_unexpected() const {
        if (p_ == end_) fail_premature();
        fail("Unexpected character.");
    }

    // Bytes and characters.

    bool is_at(std::string_view text) const {
        return static_cast<size_t>(end_ - p_) >= text.size() && std::memcmp(p_, text.data(), text.size()) == 0;
    }
    void expect(unsigned char byte) {
        if (p_ == end_ || *p_ != byte) fail_unexpected();
        ++p_;
    }
    std::string_view view(const unsigned char* first, const unsigned char* last) const {
        return std::string_view(reinterpret_cast<const char*>(first), static_cast<size_t>(last - first));
    }

    // Takes the character at p_, a kSpecial byte: a refused control or a multi-byte sequence that
    // must be well formed and an XML character. Returns the character.
    char32_t take_special() {
        if (is_control(*p_)) fail("Invalid XML character.");
        char32_t code;
        const size_t length =
            platform::utf8_sequence_length(view(begin_, end_), static_cast<size_t>(p_ - begin_), code);
        if (length == 0) fail("Encountered incorrectly encoded content.");
        if (code == 0xFFFE || code == 0xFFFF) fail("Invalid XML character.");
        p_ += length;
        return code;
    }
    // Takes one character of markup or text, checked as take_special checks one.
    void take_character() {
        if (kBytes.of[*p_] & kSpecial) {
            take_special();
        } else {
            ++p_;
        }
    }
    bool skip_space() {
        const unsigned char* start = p_;
        while (p_ < end_ && (kBytes.of[*p_] & kSpace)) ++p_;
        return p_ != start;
    }

    // Names.

    // A name as QXmlStreamReader scans one: a first character that is no punctuation, digit or
    // space, then anything up to a stop; with `is_qualified` one colon splits prefix and local name.
    Name scan_name(bool is_qualified) {
        const unsigned char* start = p_;
        if (p_ == end_) fail_premature();
        if (kBytes.of[*p_] & (kSpace | kPunctuation | kDigit)) fail("Expected a name.");
        size_t units = 0;
        const unsigned char* colon = nullptr;
        while (true) {
            if (p_ == end_) fail_premature();
            const uint8_t cls = kBytes.of[*p_];
            if (cls & kSpecial) {
                units += take_special() > 0xFFFF ? 2 : 1;
                continue;
            }
            if (*p_ == ':' && p_ != start) {
                if (!is_qualified || colon) break;
                colon = p_;
            } else if ((cls & kNameStop) && p_ != start) {
                break;
            }
            ++p_;
            ++units;
        }
        if (units > kMaxNameUnits) fail("Name longer than 4096 characters.");
        Name name;
        name.qualified = view(start, p_);
        if (colon) {
            if (colon + 1 == p_) fail_unexpected();  // the colon ends the name
            name.prefix = view(start, colon);
            name.local = view(colon + 1, p_);
        } else {
            name.local = name.qualified;
        }
        return name;
    }

    // References.

    // Decodes the reference at p_ ("&") into `out`; returns the character when it is one (for
    // the "]]>" rule), else 0.
    char32_t read_reference(std::string& out) {
        ++p_;
        if (p_ == end_) fail_premature();
        if (*p_ == '#') {
            ++p_;
            const unsigned char* start = p_;
            while (true) {
                if (p_ == end_) fail_premature();
                if (kBytes.of[*p_] & kSpecial) {
                    take_special();
                } else if (kBytes.of[*p_] & (kSpace | kPunctuation)) {
                    break;
                } else {
                    ++p_;
                }
            }
            if (p_ == start) fail_unexpected();
            const std::string_view digits = view(start, p_);
            expect(';');
            const uint32_t code = digits[0] == 'x' ? character_reference_value(digits.substr(1), 16)
                                                   : character_reference_value(digits, 10);
            if (!is_xml_char(code)) fail("Invalid character reference.");
            platform::append_code_point(out, code);
            return code;
        }
        const Name name = scan_name(false);
        expect(';');
        static constexpr std::pair<std::string_view, char> kPredefined[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
        for (const auto& entity : kPredefined) {
            if (name.local == entity.first) {
                out += entity.second;
                return static_cast<unsigned char>(entity.second);
            }
        }
        fail("Entity '" + std::string(name.local) + "' not declared.");
    }

    // Attribute values.

    // Reads the quoted value at p_ into `out`. `normalizes` makes tab, line feed and carriage
    // return (with a line feed after it) a blank, as in element attributes; without it a carriage
    // return stays one, except where the Qt reader reads it as a token of its own (first in the
    // value, or after a quote of the other kind), where it becomes a line feed.
    void read_value(std::string& out, bool normalizes) {
        if (p_ == end_) fail_premature();
        const unsigned char quote = *p_;
        if (quote != '"' && quote != '\'') fail_unexpected();
        ++p_;
        const unsigned char* start = p_;
        while (p_ < end_ && !(kBytes.of[*p_] & (kValueStop | kSpecial))) ++p_;
        if (p_ < end_ && *p_ == quote) {
            out.assign(reinterpret_cast<const char*>(start), static_cast<size_t>(p_ - start));
            ++p_;
            return;
        }
        out.assign(reinterpret_cast<const char*>(start), static_cast<size_t>(p_ - start));
        const unsigned char* token_start = start;
        while (true) {
            const unsigned char* run = p_;
            while (p_ < end_ && !(kBytes.of[*p_] & (kValueStop | kSpecial))) ++p_;
            out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p_ - run));
            if (p_ == end_) fail_premature();
            const unsigned char byte = *p_;
            if (byte == quote) {
                ++p_;
                return;
            }
            switch (byte) {
            case '"':
            case '\'':
                out += static_cast<char>(byte);
                token_start = ++p_;
                break;
            case '<':
                fail("'<' in an attribute value.");
            case '&':
                read_reference(out);
                break;
            case '\r': {
                const bool is_token = p_ == token_start;
                ++p_;
                if (p_ < end_ && *p_ == '\n') ++p_;
                out += normalizes ? ' ' : is_token ? '\n' : '\r';
                break;
            }
            case '\t':
            case '\n':
                out += normalizes ? ' ' : static_cast<char>(byte);
                ++p_;
                break;
            default: {
                const unsigned char* sequence = p_;
                take_special();
                out.append(reinterpret_cast<const char*>(sequence), static_cast<size_t>(p_ - sequence));
            }
            }
        }
    }

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
        scratch_.namespaces.push_back({name.local, std::move(uri)});
        return true;
    }

    // The namespace a prefix stands for, in the elements open now; an undeclared prefix is refused.
    std::string_view namespace_of(std::string_view prefix) const {
        for (auto it = scratch_.namespaces.rbegin(); it != scratch_.namespaces.rend(); ++it) {
            if (it->prefix == prefix) return it->uri;
        }
        if (prefix == "xml") return kXmlNamespace;
        fail("Namespace prefix '" + std::string(prefix) + "' not declared");
    }

    // The XML declaration.

    void read_declaration() {
        p_ += 5;
        skip_space();
        if (!is_at("version")) fail_unexpected();
        p_ += 7;
        skip_space();
        expect('=');
        skip_space();
        if (p_ == end_) fail_premature();
        const unsigned char quote = *p_;
        if ((quote != '"' && quote != '\'') || !is_at(std::string(1, static_cast<char>(quote)) + "1.0")) {
            fail("Unsupported XML version.");
        }
        p_ += 4;
        expect(quote);
        bool has_standalone = false;
        while (true) {
            const bool has_space = skip_space();
            if (is_at("?>")) break;
            if (!has_space) fail_unexpected();
            const Name name = scan_name(true);
            skip_space();
            expect('=');
            skip_space();
            std::string value;
            read_value(value, false);
            if (declare_namespace(name, value)) continue;
            if (name.qualified == "encoding") {
                if (has_standalone) fail("The standalone pseudo attribute must appear after the encoding.");
                if (!ipc_equal_ignoring_case(value, "UTF-8")) fail("Encoding " + value + " is not accepted.");
            } else if (name.qualified == "standalone") {
                has_standalone = true;
                if (value != "yes" && value != "no") fail("Standalone accepts only yes or no.");
            } else {
                fail("Invalid attribute in XML declaration.");
            }
        }
        p_ += 2;
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
    // empty ("/>"). The element's namespace declarations are added to those in scope.
    bool read_start_tag(Message& node, const Name& name) {
        std::vector<MessageAttributes::Entry>& attributes = scratch_.attributes;
        std::vector<std::string_view>& prefixes = scratch_.prefixes;
        attributes.clear();
        prefixes.clear();
        bool has_prefixed = false;
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
            skip_space();
            expect('=');
            skip_space();
            if (attribute.local == "xmlns") {
                read_value(scratch_.value, true);
                if (declare_namespace(attribute, scratch_.value)) continue;
                fail("Invalid attribute name 'xmlns'.");  // p:xmlns names no attribute we can write back
            }
            if (attribute.prefix == "xmlns") {
                read_value(scratch_.value, true);
                declare_namespace(attribute, scratch_.value);
                continue;
            }
            if (!xml_is_attribute_name(attribute.local)) {
                fail("Invalid attribute name '" + std::string(attribute.local) + "'.");
            }
            MessageAttributes::Entry& entry = attributes.emplace_back();
            entry.first.assign(attribute.local.data(), attribute.local.size());
            entry.second.type_ = MessageValue::TYPE_STRING;
            read_value(entry.second.text_, true);
            prefixes.push_back(attribute.prefix);
            has_prefixed |= !attribute.prefix.empty();
        }
        if ((!name.prefix.empty() && !xml_is_ncname(name.prefix)) || !xml_is_ncname(name.local)) {
            fail("Invalid XML name.");
        }
        if (!name.prefix.empty()) namespace_of(name.prefix);
        if (!attributes.empty()) take_attributes(node, has_prefixed);
        return is_empty;
    }

    // Checks the start tag's attributes for repeats and gives them to `node` in name order.
    void take_attributes(Message& node, bool has_prefixed) {
        std::vector<MessageAttributes::Entry>& attributes = scratch_.attributes;
        std::vector<std::string_view> namespaces;  // of each attribute, empty when unprefixed
        if (has_prefixed) {
            for (const std::string_view prefix : scratch_.prefixes) {
                namespaces.push_back(prefix.empty() ? std::string_view() : namespace_of(prefix));
            }
        }
        const bool is_strictly_ordered =
            std::adjacent_find(attributes.begin(), attributes.end(), [](const auto& a, const auto& b) {
                return !(a.first < b.first);
            }) == attributes.end();
        if (!is_strictly_ordered) check_repeats(namespaces);
        MessageAttributes& list = node.attributes_;
        list.entries_.reserve(attributes.size());
        for (MessageAttributes::Entry& entry : attributes) list.entries_.push_back(std::move(entry));
        if (!is_strictly_ordered) list.restore_order();  // the later of two local names wins
    }

    // Refuses two attributes of one local name in one namespace (none for both when unprefixed).
    void check_repeats(const std::vector<std::string_view>& namespaces) const {
        const std::vector<MessageAttributes::Entry>& attributes = scratch_.attributes;
        std::vector<size_t> order(attributes.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        const auto key = [&](size_t i) {
            const bool is_prefixed = !namespaces.empty() && !scratch_.prefixes[i].empty();
            return std::make_tuple(std::string_view(attributes[i].first), is_prefixed,
                                   is_prefixed ? namespaces[i] : std::string_view());
        };
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
        for (size_t i = 1; i < order.size(); ++i) {
            if (key(order[i - 1]) == key(order[i])) {
                fail("Attribute '" + attributes[order[i]].first + "' redefined.");
            }
        }
    }

    void read_end_tag(const OpenElement& element) {
        p_ += 2;  // "</"
        const Name name = scan_name(true);
        if (name.qualified != element.qualified_name) fail("Opening and ending tag mismatch.");
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
            while (p_ < end_ && !(kBytes.of[*p_] & (kTextStop | kSpecial))) ++p_;
            if (p_ == end_) fail_premature();
            switch (*p_) {
            case '<':
                append(p_);
                return;
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
            default:
                take_special();
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
        open[0] = {&root, root_name.qualified, outer_namespaces};
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
                scratch_.namespaces.resize(open[depth - 1].namespace_count);
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
                    scratch_.namespaces.resize(namespace_count);
                } else {
                    open[depth++] = {&child, name.qualified, namespace_count};
                }
            }
        }
    }

    const unsigned char* const begin_;
    const unsigned char* const end_;
    const unsigned char* p_;  // the next byte to read
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
