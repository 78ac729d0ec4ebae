#include <gtest/gtest.h>

#include <string>

#include "ipc/base/ipc_string.h"
#include "ipc/message/message.h"
#include "tests/support/exception_text.h"

namespace {

using test_support::error_of;

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A tree in one line: name{attributes}"value"(children), the value only when set and the braces
// and parentheses only when there is something in them.
std::string shape_of(const Message& node) {
    std::string shape = node.name();
    if (node.attributes().size() > 0) {
        shape += "{";
        for (const auto& entry : node.attributes()) {
            if (shape.back() != '{') shape += " ";
            shape += entry.first + "=" + quoted(entry.second.to_string());
        }
        shape += "}";
    }
    if (node.value().type() == Message::Value::TYPE_STRING) shape += quoted(node.value().to_string());
    if (node.size() > 0) {
        shape += "(";
        for (int row = 0; row < node.size(); ++row) shape += (row ? " " : "") + shape_of(node.get_child(row));
        shape += ")";
    }
    return shape;
}

std::string nested(int depth) {
    std::string xml;
    for (int i = 0; i < depth; ++i) xml += "<n>";
    for (int i = 0; i < depth; ++i) xml += "</n>";
    return xml;
}

struct ReadCase {
    const char* name;
    std::string xml;
    std::string shape;
};
const ReadCase kReads[] = {
    {"a report",
     "<unso id=\"peer_stats\"><peerStats><peer id=\"1\" rx=\"12\"/><peer id=\"2\" rx=\"0\"/></peerStats></unso>",
     "unso{id=\"peer_stats\"}(peerStats(peer{id=\"1\" rx=\"12\"} peer{id=\"2\" rx=\"0\"}))"},
    {"predefined entities", "<a v=\"&lt;&gt;&amp;&apos;&quot;\">&lt;x&gt;</a>", "a{v=\"<>&'\"\"}\"<x>\""},
    {"character references", "<a v=\"&#65;&#x42;&#x0043;&#0068;\">&#x1F600;&#x5d;</a>",
     "a{v=\"ABCD\"}\"\xF0\x9F\x98\x80]\""},
    // QString::toUInt reads the digits: Unicode white space around them and "0x" after "x" pass.
    {"character references as Qt reads them",
     "<a v=\"&#x0x41;&#\xC2\xA0"
     "66;&#x\xE3\x80\x80"
     "43\xC2\x85;\"/>",
     "a{v=\"ABC\"}"},
    {"CDATA joins the text", "<a>x<![CDATA[<b>&amp;]]]]><![CDATA[]]>y<!-- c -->z</a>", "a\"x<b>&amp;]]yz\""},
    {"an empty CDATA section is a run of text", "<a>t<b/><![CDATA[]]></a>", "a\"\"(b)"},
    {"the last run of text wins", "<a>t<b/>u<!--c-->v<?p?>w<c/></a>", "a\"uvw\"(b c)"},
    {"text before the last child stays", "<a>t<b/></a>", "a\"t\"(b)"},
    {"white space is text", "<a> <b/>\t</a>", "a\"\\t\"(b)"},
    {"both quote kinds", "<a one='say \"hi\"' two=\"it's\"/>", "a{one=\"say \"hi\"\" two=\"it's\"}"},
    {"white space in attributes becomes blanks", "<a v=\"a\tb\nc\r\nd\re\" w=\"&#9;&#10;&#13;\"/>",
     "a{v=\"a b c d e\" w=\"\\t\\n\\r\"}"},
    {"line ends in text", "<a>a\r\nb\rc&#13;</a>", "a\"a\\nb\\nc\\r\""},
    {"namespaces", "<p:a xmlns:p=\"urn:a\" xmlns=\"urn:d\" k=\"1\" p:k=\"2\" xml:lang=\"en\"><p:b/></p:a>",
     "a{k=\"2\" lang=\"en\"}(b)"},
    {"the later of one local name wins", "<a xmlns:p=\"u\" p:k=\"2\" k=\"1\"/>", "a{k=\"1\"}"},
    {"a declaration", "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?><a/>", "a"},
    {"namespaces declared in the declaration", "<?xml version='1.0' xmlns:p=\"urn:x\"?><p:a p:k=\"1\"/>", "a{k=\"1\"}"},
    {"around the root", "<?pi data?><!-- c --><a/> <!-- c --> <?pi data?>\r\n", "a"},
    {"processing instructions without data", "<?t?><?^?><a><?pi ?></a>", "a"},
    {"names above ASCII", "<\xC3\xA9l attr\xC2\xB7x=\"1\"/>", "\xC3\xA9l{attr\xC2\xB7x=\"1\"}"},
    {"brackets that are no ]]>", "<a>]]&gt; &#93;&#93;> <b/>]></a>", "a\"]>\"(b)"},
    {"a prefix declared again inside", "<a xmlns:p=\"u\"><b xmlns:p=\"v\" p:k=\"1\"/><p:c/></a>", "a(b{k=\"1\"} c)"},
    {"a prefix back to its outer namespace",
     "<a xmlns:p=\"u\" xmlns:q=\"v\"><b xmlns:q=\"u\"/><c p:k=\"1\" q:k=\"2\"/></a>", "a(b c{k=\"2\"})"},
    {"a namespace written with a reference", "<p:a xmlns:p=\"&#117;\" p:k=\"1\"/>", "a{k=\"1\"}"},
    {"attributes out of order", "<a z=\"1\" b=\"2\" xmlns:p=\"u\" m=\"3\" p:b=\"4\"/>", "a{b=\"4\" m=\"3\" z=\"1\"}"},
    {"text above ASCII", "<a v=\"Z\xC3\xBCrich \xE2\x80\x94 \xE6\x9D\xB1\">\xF0\x9F\x8E\xB5</a>",
     "a{v=\"Z\xC3\xBCrich \xE2\x80\x94 \xE6\x9D\xB1\"}\"\xF0\x9F\x8E\xB5\""},
    {"a declaration's values keep their line breaks",
     "<?xml version=\"1.0\" xmlns:p=\"x\r\n\" xmlns:q=\"x\n\"?><a p:k=\"1\" q:k=\"2\"/>", "a{k=\"2\"}"},
    {"a question mark in an instruction", "<a><?t x?y>?></a>", "a"},
    {"a carriage return last", "<a/>\r", "a"},
    // A byte outside UTF-8 is the Latin-1 character of that byte; UTF-8 beside it stays.
    {"Latin-1 names", "<K\xF6ln name=\"Z\xFCrich\"/>", "K\xC3\xB6ln{name=\"Z\xC3\xBCrich\"}"},
    // Latin-1 bytes that happen to form UTF-8 stay UTF-8: a text reads the same in every frame.
    {"Latin-1 pairs that form UTF-8", "<a n=\"CAF\xC9\xAE M\xFCller\"/>", "a{n=\"CAF\xC9\xAE M\xC3\xBCller\"}"},
    {"a stray byte beside UTF-8", "<a>Z\xC3\xBCrich \xFF \xE2\x80\x94</a>", "a\"Z\xC3\xBCrich \xC3\xBF \xE2\x80\x94\""},
    {"a cut sequence, byte by byte", "<a>\xC3(</a>", "a\"\xC3\x83(\""},
    {"an encoded surrogate, byte by byte", "<a>\xED\xA0\x80</a>", "a\"\xC3\xAD\xC2\xA0\xC2\x80\""},
    {"nesting at the cap", nested(Message::kMaxDepth), ""},
    {"a name of 4096 characters", "<" + std::string(4096, 'n') + "/>", std::string(4096, 'n')},
};

// The frame reader reads these as the stream reader does, to the tree given, and both tell when
// they read bytes as Latin-1.
TEST(MessageFrameReader, ReadsWhatTheStreamReaderReads) {
    for (const ReadCase& c : kReads) {
        Message frame;
        bool frame_latin1 = false;
        ASSERT_EQ(error_of([&] { frame.parse_from_peer(c.xml.data(), c.xml.size(), &frame_latin1); }), "(no exception)")
            << c.name;
        Message reference;
        bool reference_latin1 = false;
        reference.parse_from_peer_by_stream_reader(c.xml.data(), c.xml.size(), &reference_latin1);
        EXPECT_EQ(shape_of(frame), shape_of(reference)) << c.name;
        EXPECT_EQ(frame_latin1, !ipc_is_utf8(c.xml)) << c.name;
        EXPECT_EQ(reference_latin1, frame_latin1) << c.name;
        if (!c.shape.empty()) {
            EXPECT_EQ(shape_of(frame), c.shape) << c.name;
        }
    }
}

struct RefusalCase {
    const char* name;
    std::string xml;
    const char* error;                      // what the frame reader's text says after "read_xml_element: "
    bool is_read_by_stream_reader = false;  // the one difference the two readers may have
};
const RefusalCase kRefusals[] = {
    {"nesting past the cap", nested(Message::kMaxDepth + 1), "Nesting deeper than 256 levels"},
    {"a document type before the root", "<!DOCTYPE a><a/>", "Document type declarations are not accepted"},
    {"a document type inside the root", "<a><!DOCTYPE b></a>", "Document type declarations are not accepted"},
    {"a document type after the root", "<a/><!DOCTYPE a>", "Document type declarations are not accepted"},
    {"cut in a tag", "<a><b k=\"v", "Premature end of document"},
    {"cut in text", "<a>text", "Premature end of document"},
    {"cut after a child", "<a><b/>", "Premature end of document"},
    {"cut in a comment after the root", "<a/><!-- x", "Premature end of document"},
    {"no element", "<!-- c -->", "Premature end of document"},
    {"a control character", "<a k=\"\x01\"/>", "Invalid XML character"},
    {"a NUL", std::string("<a>\0</a>", 8), "Invalid XML character"},
    {"U+FFFE", "<a>\xEF\xBF\xBE</a>", "Invalid XML character"},
    {"an undeclared entity", "<a>&e;</a>", "Entity 'e' not declared"},
    {"a reference to NUL", "<a>&#0;</a>", "Invalid character reference"},
    {"a reference to a surrogate", "<a>&#xD800;</a>", "Invalid character reference"},
    {"a capital X", "<a>&#X41;</a>", "Invalid character reference"},
    {"no digits", "<a>&#x;</a>", "Invalid character reference"},
    {"letters after decimal digits", "<a>&#65a;</a>", "Invalid character reference"},
    {"beyond 32 bits", "<a>&#99999999999;</a>", "Invalid character reference"},
    {"'<' in an attribute", "<a k=\"<\"/>", "'<' in an attribute value"},
    {"a repeated attribute", "<a k=\"1\" k=\"2\"/>", "Attribute 'k' redefined"},
    {"a repeated attribute in one namespace", "<a xmlns:p=\"u\" xmlns:q=\"u\" p:k=\"1\" q:k=\"2\"/>",
     "Attribute 'k' redefined"},
    {"a repeated attribute through a prefix declared again",
     "<a xmlns:p=\"u\" xmlns:q=\"v\"><b xmlns:q=\"u\" p:k=\"1\" q:k=\"2\"/></a>", "Attribute 'k' redefined"},
    {"an undeclared element prefix", "<p:a/>", "Namespace prefix 'p' not declared"},
    {"an undeclared attribute prefix", "<a p:k=\"1\"/>", "Namespace prefix 'p' not declared"},
    {"a prefix out of scope", "<a><b xmlns:p=\"u\"/><p:c/></a>", "Namespace prefix 'p' not declared"},
    {"another namespace for xml", "<a xmlns:xml=\"urn:x\"/>", "Illegal namespace declaration"},
    {"an empty namespace", "<a xmlns:p=\"\"/>", "Illegal namespace declaration"},
    {"an attribute named xmlns", "<a xmlns:p=\"u\" p:xmlns=\"v\"/>", "Invalid attribute name 'xmlns'"},
    {"mismatched tags", "<a><b></a></b>", "Opening and ending tag mismatch"},
    {"a second root", "<a/><b/>", "Extra content at end of document"},
    {"text after the root", "<a/>x", "Extra content at end of document"},
    {"text before the root", "<?p?>x<a/>", "Start tag expected"},
    {"text first", "xxxx<resp seq=\"ping\"/>", "Start tag expected"},
    {"text and no element", "hello", "Start tag expected"},
    {"another encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", "Encoding ISO-8859-1 is not accepted"},
    {"another version", "<?xml version=\"1.1\"?><a/>", "Unsupported XML version"},
    {"standalone neither yes nor no", "<?xml version=\"1.0\" standalone=\"maybe\"?><a/>",
     "Standalone accepts only yes or no"},
    {"the encoding after standalone", "<?xml version=\"1.0\" standalone=\"no\" encoding=\"UTF-8\"?><a/>",
     "The standalone pseudo attribute must appear after the encoding"},
    // The stream reader takes the last of a repeated encoding or standalone.
    {"a repeated version", "<?xml version=\"1.0\" version=\"1.0\"?><a/>", "The version pseudo attribute is repeated"},
    {"a repeated encoding", "<?xml version=\"1.0\" encoding=\"UTF-8\" encoding=\"utf-8\"?><a/>",
     "The encoding pseudo attribute is repeated", true},
    {"a repeated standalone", "<?xml version=\"1.0\" standalone=\"yes\" standalone=\"no\"?><a/>",
     "The standalone pseudo attribute is repeated", true},
    // Refused as repeated whatever the first value holds: the stream reader reads this one too.
    {"a repeated encoding, the first not UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8.\" encoding=\"UTF-8\"?><a/>",
     "The encoding pseudo attribute is repeated", true},
    {"a repeated standalone, the first neither yes nor no",
     "<?xml version=\"1.0\" standalone=\"maybe\" standalone=\"yes\"?><a/>",
     "The standalone pseudo attribute is repeated"},
    // Read as Latin-1, a C0 control is still no XML character.
    {"a control beside a Latin-1 byte", "<a>\xFC\x01</a>", "Invalid XML character"},
    {"a declaration after the start", "<a/><?xml version=\"1.0\"?>", "XML declaration not at start of document"},
    {"]]> in text", "<a>x]]>y</a>", "Sequence ']]>' not allowed in content"},
    {"]]> after a reference", "<a>&#93;]></a>", "Sequence ']]>' not allowed in content"},
    {"-- in a comment", "<a><!-- a -- b --></a>", "Unexpected character"},
    {"a processing instruction named by no name", "<a><?\xC3\x97 x?></a>", "Invalid processing instruction name"},
    {"attributes without a blank", "<a k=\"1\"j=\"2\"/>", "Unexpected character"},
    {"an invalid element name", "<a\xC3\x97/>", "Invalid XML name"},
    {"an invalid attribute name", "<a b$=\"1\"/>", "Invalid attribute name 'b$'"},
    {"a name of 4097 characters", "<" + std::string(4097, 'n') + "/>", "Name longer than 4096 characters"},
    {"an instruction named by 4097 characters", "<?" + std::string(4097, 't') + "?><a/>",
     "Name longer than 4096 characters"},
    // The reader takes a line break first in a declaration's value as a token of its own: CR LF
    // there reads as the line feed the reference gives.
    {"CR LF first in a declaration's value",
     "<?xml version=\"1.0\" xmlns:p=\"&#10;x\" xmlns:q=\"\r\nx\"?><a p:k=\"1\" q:k=\"2\"/>", "Attribute 'k' redefined"},
    {"a comment ending in three dashes", "<a><!-- a ---></a>", "Unexpected character"},
    {"a document type cut short after the root", "<a/><!DOCTYPE", "Document type declarations are not accepted"},
    {"CDATA outside the root", "<a/><![CDATA[x]]>", "Extra content at end of document"},
    {"a reference without its semicolon", "<a>&amp</a>", "Unexpected character"},
    {"a second colon", "<a:b:c/>", "Unexpected character"},
    {"an empty local name", "<a xmlns:p=\"u\" p:=\"1\"/>", "Unexpected character"},
};

// Each refusal leaves the node as parse_from_peer found it (emptied, name and value kept), and the
// stream reader refuses the same document.
TEST(MessageFrameReader, RefusesWhatTheStreamReaderRefuses) {
    for (const RefusalCase& c : kRefusals) {
        Message node;
        node.set_name("keep");
        node.attributes().set("old", 1);
        node.add_child("old");
        const std::string error = error_of([&] { node.parse_from_peer(c.xml); });
        EXPECT_EQ(error.rfind(std::string("read_xml_element: ") + c.error, 0), 0u) << c.name << ": " << error;
        EXPECT_NE(error.find(" at line "), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(shape_of(node), "keep") << c.name;
        EXPECT_EQ(error_of([&] { Message().parse_from_peer_by_stream_reader(c.xml.data(), c.xml.size()); }) ==
                      "(no exception)",
                  c.is_read_by_stream_reader)
            << c.name;
    }
}

TEST(MessageFrameReader, ErrorsSayWhere) {
    EXPECT_EQ(error_of([] { Message().parse_from_peer("<a>\n  <b>\n</a>"); }),
              "read_xml_element: Opening and ending tag mismatch. at line 3, column 3");
}

// The lists a thread keeps between documents carry nothing over: a prefix declared in one
// document's declaration is unknown in the next.
TEST(MessageFrameReader, NothingCarriesOverToTheNextDocument) {
    Message declaring;
    declaring.parse_from_peer("<?xml version=\"1.0\" xmlns:p=\"urn:x\"?><a xmlns:q=\"urn:y\"><p:b q:k=\"1\"/></a>");
    EXPECT_EQ(shape_of(declaring), "a(b{k=\"1\"})");
    for (const char* next : {"<p:b/>", "<a q:k=\"1\"/>"}) {
        EXPECT_EQ(error_of([&] { Message().parse_from_peer(next); }).rfind("read_xml_element: Namespace prefix", 0), 0u)
            << next;
    }
}

}  // namespace
