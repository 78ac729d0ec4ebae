// The XML encoding of Message trees and the message files.
//
// Reading goes through QXmlStreamReader and builds the tree in one pass without recursion; what a
// peer sends is read by the frame reader instead (message_frame_reader.cpp), and this reader is kept
// for files and as that one's reference (parse_from_peer_by_stream_reader). Writing
// produces the bytes QXmlStreamWriter would produce for the same calls (declaration, self-closing
// empty elements, 4-blank auto-formatting, its attribute escapes), but straight into the caller's
// std::string: no UTF-16 round trip per name and value. One difference: without auto-formatting
// the document ends at the root's end tag, without the line break writeEndDocument() appends, so
// xmls frames and logged messages carry none. write_xml_element keeps the QXmlStreamWriter path
// for callers that hold a writer of their own.
//
// A document type declaration is refused in what a peer sends. Elsewhere it is
// read, but what its entities could expand to is measured before the reader expands any reference,
// and the text a document decodes to is capped (Message::kMaxTextExpansion, kMaxDecodedText).
//
// Every tree written can be read back: names must be XML names without a colon (what our reader
// accepts), and characters XML 1.0 forbids (C0 controls but TAB/LF/CR, U+FFFE, U+FFFF, ill-formed
// UTF-8 including encoded surrogates) become U+FFFD, so a NUL in a value can never end an xmls frame.

#include <QByteArray>
#include <QFileDevice>
#include <QSaveFile>
#include <QString>
#include <QStringRef>
#include <QStringView>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "ipc/message/message.h"
#include "ipc/message/xml_entity_bound.h"
#include "ipc/message/xml_name.h"
#include "platform/utf16.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Appends UTF-16 text as UTF-8; unpaired surrogates become U+FFFD.
void append_utf8(std::string& out, const QChar* chars, int count) {
    platform::append_utf8(out, reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(count));
}

// The UTF-8 of `text`. Names, attribute values and most texts are ASCII; then each UTF-16 code
// unit is its own UTF-8 byte, and the string is built from them directly at its final size: no
// zero-filled or stack copy first, which for the few characters of a typical name cost more than
// the narrowing itself.
std::string utf8_of(QStringView text) {
    const char16_t* first = text.utf16();
    const char16_t* last = first + text.size();
    char16_t any = 0;
    for (const char16_t* unit = first; unit != last; ++unit) any |= *unit;
    if (any < 0x80) return std::string(first, last);
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    append_utf8(out, text.data(), static_cast<int>(text.size()));
    return out;
}

void append_utf8(std::string& out, const QStringRef& text) {
    append_utf8(out, text.unicode(), text.size());
}

QString to_qstring(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// What a byte of a value needs on output: 0 nothing, 1 an entity (attribute values), 2 U+FFFD,
// 3 a look at the UTF-8 sequence it starts.
struct ByteClasses {
    unsigned char of[256];
    ByteClasses() {
        for (int c = 0; c < 256; ++c) of[c] = c < 0x20 ? 2 : c >= 0x80 ? 3 : 0;
        for (const unsigned char c : {'<', '>', '&', '"', '\t', '\n', '\r'}) of[c] = 1;
    }
};
const ByteClasses kByteClasses;

// Appends `text` made safe for XML 1.0: a forbidden character, and each byte of an ill-formed
// sequence, becomes U+FFFD; with `escape`, the characters QXmlStreamWriter escapes in attribute
// values become entities.
void append_xml_text(std::string& out, std::string_view text, bool escape) {
    size_t plain = 0;  // start of the run not yet copied
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const unsigned char kind = kByteClasses.of[c];
        if (kind == 0 || (kind == 1 && !escape)) {
            ++i;
            continue;
        }
        size_t length = 1;
        if (kind == 3) {
            bool is_allowed;
            const size_t sequence = ipc_utf8_sequence_length(text, i, is_allowed);
            if (sequence && is_allowed) {
                i += sequence;
                continue;
            }
            if (sequence) length = sequence;
        }
        out.append(text.data() + plain, i - plain);
        if (kind == 1) {
            switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            case '\t': out += "&#9;"; break;
            case '\n': out += "&#10;"; break;
            default: out += "&#13;"; break;
            }
        } else {
            out += kReplacement;
        }
        i += length;
        plain = i;
    }
    out.append(text.data() + plain, text.size() - plain);
}

// `text` as UTF-8 when it is an ASCII name that xml_is_attribute_name accepts, else empty (never a
// valid name). The usual attribute name is checked and narrowed in one pass over its UTF-16, rather
// than narrowed first and scanned again, which cost as much as the narrowing.
std::string ascii_attribute_name(QStringView text) {
    const char16_t* first = text.utf16();
    const char16_t* last = first + text.size();
    if (first == last || *first >= 0x80) return std::string();
    if (!(xml_ascii_name_class(static_cast<unsigned char>(*first)) & kXmlNameStart)) return std::string();
    char16_t any = 0;
    unsigned char every = kXmlNamePart;  // stays while each unit may continue a name
    for (const char16_t* unit = first; unit != last; ++unit) {
        any |= *unit;
        every &= xml_ascii_name_class(*unit & 0x7F);  // units above ASCII fail through `any`
    }
    const bool is_xmlns = last - first == 5 && std::equal(first, last, u"xmlns");
    if (any >= 0x80 || !every || is_xmlns) return std::string();
    return std::string(first, last);
}

[[noreturn]] void throw_reader_error(const QXmlStreamReader& reader) {
    throw Exception("%s: %s at line %lld, column %lld", "read_xml_element", reader.errorString().toUtf8().constData(),
                    static_cast<long long>(reader.lineNumber()), static_cast<long long>(reader.columnNumber()));
}

// Drops what `file` has written so far (the old file stays as it was) and throws its error.
[[noreturn]] void cancel_save(QSaveFile& file, const char* operation) {
    const QByteArray reason = file.errorString().toUtf8();
    file.cancelWriting();
    throw Exception("%s: %s", operation, reason.constData());
}

void save_file(const std::string& path, const std::string& data, const char* operation) {
    if (path.find('\0') != std::string::npos) throw Exception("%s: Path holds a NUL byte", operation);
    QSaveFile file(to_qstring(path));
    // Unbuffered: a buffered file under 16 KB reaches the disk only as commit() flushes it, and
    // commit() in Qt 5.15 ignores a failed flush, putting an empty or cut file in place of the old
    // one. Unbuffered, each write below meets the disk, and a short one is retried, so a failure
    // comes with the system's reason ("File too large", "No space left on device").
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw Exception("%s: %s", operation, file.errorString().toUtf8().constData());
    }
    const char* next = data.data();
    qint64 left = static_cast<qint64>(data.size());
    while (left > 0) {
        const qint64 written = file.write(next, left);
        if (written <= 0) cancel_save(file, operation);
        next += written;
        left -= written;
    }
    if (!file.flush() || file.error() != QFileDevice::NoError) cancel_save(file, operation);
    // Configuration and schedule files may hold credentials: owner only.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) cancel_save(file, operation);
    if (!file.commit()) throw Exception("%s: %s", operation, file.errorString().toUtf8().constData());
}

std::string read_file(const std::string& path, const char* operation) {
    if (path.find('\0') != std::string::npos) throw Exception("%s: Path holds a NUL byte", operation);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) throw Exception("%s: %s", operation, ipc_last_error_text(false).c_str());
    constexpr size_t kChunk = 64 * 1024;
    std::string data;
    while (true) {
        const size_t have = data.size();
        if (have > static_cast<size_t>(Message::kMaxFileSize)) {
            throw Exception("%s: File larger than %lld bytes", operation,
                            static_cast<long long>(Message::kMaxFileSize));
        }
        data.resize(have + kChunk);
        const size_t got = std::fread(&data[have], 1, kChunk, file.get());
        data.resize(have + got);
        if (got < kChunk) {
            if (std::ferror(file.get())) throw Exception("%s: %s", operation, ipc_last_error_text(false).c_str());
            break;
        }
    }
    if (data.size() > static_cast<size_t>(Message::kMaxFileSize)) {
        throw Exception("%s: File larger than %lld bytes", operation, static_cast<long long>(Message::kMaxFileSize));
    }
    return data;
}

// Building a QXmlStreamReader costs several times what reading a small message does, so each
// thread keeps one and feeds it one document at a time. clear() keeps what a document type
// declaration declared (attribute defaults, entities), also one the reader refused as misplaced,
// and the namespaces an XML declaration declared (the reader takes xmlns attributes there), so
// only a reader that read a clean document without either is kept: the next document, perhaps
// from someone else, must not inherit anything.
class ReusableReader {
public:
    QXmlStreamReader& reader() {
        if (!reader_) reader_ = std::make_unique<QXmlStreamReader>();
        return *reader_;
    }
    void release(bool is_clean) {
        if (is_clean) {
            reader_->clear();
        } else {
            reader_.reset();
        }
    }

private:
    std::unique_ptr<QXmlStreamReader> reader_;
};

ReusableReader& reusable_reader() {
    thread_local ReusableReader reader;
    return reader;
}

}  // namespace

struct Message::XmlCodec {
    // What one document may hold and decode to, and how much of it reading has decoded so far.
    struct Limits {
        bool is_from_peer;          // see Message::parse_from_peer
        std::string_view document;  // the whole input when known: entity expansion is measured on it
        size_t text_limit;          // most bytes of names, attribute values and text decoded
        size_t text_used = 0;
        bool has_doctype = false;      // the document declared a document type
        bool has_declaration = false;  // it began with an XML declaration

        // Limits for a whole document read from `data`.
        static Limits of_document(std::string_view data, bool is_from_peer) {
            const size_t limit = data.size() > kMaxDecodedText / kMaxTextExpansion
                                     ? kMaxDecodedText
                                     : std::max<size_t>(data.size() * kMaxTextExpansion, 1);
            return Limits{is_from_peer, data, limit};
        }
        // Limits for a caller's reader, whose input is not known here.
        static Limits of_reader() { return Limits{false, {}, kMaxDecodedText}; }

        void count(size_t bytes, const QXmlStreamReader& reader) {
            text_used += bytes;
            if (text_used <= text_limit) return;
            throw Exception("%s: Document decodes to more than %zu bytes of text at line %lld, column %lld",
                            "read_xml_element", text_limit, static_cast<long long>(reader.lineNumber()),
                            static_cast<long long>(reader.columnNumber()));
        }
    };

    // A document type declaration may declare entities: refused where it is not allowed, and
    // otherwise measured before any reference to them is expanded.
    static void check_doctype(const QXmlStreamReader& reader, Limits& limits) {
        limits.has_doctype = true;
        if (limits.is_from_peer) {
            throw Exception("%s: Document type declarations are not accepted, at line %lld", "read_xml_element",
                            static_cast<long long>(reader.lineNumber()));
        }
        if (limits.document.empty()) return;
        if (xml_expanded_length_bound(limits.document, reader.entityDeclarations(), limits.text_limit) >
            limits.text_limit) {
            throw Exception("%s: Entity references would decode to more than %zu bytes of text", "read_xml_element",
                            limits.text_limit);
        }
    }

    // Notes a document type declaration (check_doctype) and an XML declaration, whose namespace
    // declarations the reader keeps past clear(). A peer's document is UTF-8 (xmls frames carry no
    // declaration at all): one that declares another encoding would have the reader decode the
    // rest of its bytes otherwise.
    static void check_prolog_token(QXmlStreamReader::TokenType token, const QXmlStreamReader& reader, Limits& limits) {
        if (token == QXmlStreamReader::DTD) check_doctype(reader, limits);
        if (token != QXmlStreamReader::StartDocument || reader.documentVersion().isEmpty()) return;
        limits.has_declaration = true;
        if (!limits.is_from_peer) return;
        const QByteArray encoding = reader.documentEncoding().toUtf8();
        if (!encoding.isEmpty() && !ipc_equal_ignoring_case(encoding.constData(), "UTF-8")) {
            throw Exception("%s: Encoding %s is not accepted", "read_xml_element", encoding.constData());
        }
    }

    static void read_attributes(QXmlStreamReader& reader, Message& node, Limits& limits) {
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributes.isEmpty()) return;
        MessageAttributes read;
        read.entries_.reserve(static_cast<size_t>(attributes.size()));
        for (const QXmlStreamAttribute& attribute : attributes) {
            // Filled in place (in arrival order, as append_unordered does): building name and value
            // first and moving them in copied every short string once more.
            MessageAttributes::Entry& entry = read.entries_.emplace_back();
            std::string& name = entry.first;
            name = ascii_attribute_name(attribute.name());
            if (name.empty()) {
                // QXmlStreamReader lets any characters through in attribute names; refuse what
                // no writer could write back.
                name = utf8_of(attribute.name());
                if (!xml_is_attribute_name(name)) {
                    throw Exception("%s: Invalid attribute name '%s' at line %lld, column %lld", "read_xml_element",
                                    name.c_str(), static_cast<long long>(reader.lineNumber()),
                                    static_cast<long long>(reader.columnNumber()));
                }
            }
            entry.second.type_ = MessageValue::TYPE_STRING;
            entry.second.text_ = utf8_of(attribute.value());
            limits.count(name.size() + entry.second.text_.size(), reader);
        }
        read.restore_order();  // namespaced names may repeat a local name; the later one wins
        if (node.attributes_.entries_.empty()) {
            node.attributes_.entries_.swap(read.entries_);
        } else {
            node.attributes_ += read;
        }
    }

    // Reads the element at or after the reader's position into the fresh node `root`. False when
    // the reader ended cleanly before any element; malformed input throws.
    static bool read_tree(QXmlStreamReader& reader, Message& root, Limits& limits) {
        while (!reader.isStartElement()) {
            if (reader.atEnd()) {
                if (reader.hasError()) throw_reader_error(reader);
                return false;
            }
            check_prolog_token(reader.readNext(), reader, limits);
        }
        root.name_ = utf8_of(reader.name());
        limits.count(root.name_.size(), reader);
        read_attributes(reader, root, limits);

        // The elements whose end tag is still to come, the root first. kMaxDepth bounds them, so
        // they live on the stack: a short message then allocates nothing but its nodes.
        Message* open[kMaxDepth];
        int depth = 1;
        open[0] = &root;
        bool is_in_text = false;  // the current element's text run is still growing
        while (true) {
            switch (reader.readNext()) {
            case QXmlStreamReader::StartElement: {
                if (depth == kMaxDepth) {
                    throw Exception("%s: Nesting deeper than %d levels at line %lld, column %lld", "read_xml_element",
                                    kMaxDepth, static_cast<long long>(reader.lineNumber()),
                                    static_cast<long long>(reader.columnNumber()));
                }
                Message& child = open[depth - 1]->append_new(utf8_of(reader.name()));
                limits.count(child.name_.size(), reader);
                read_attributes(reader, child, limits);
                open[depth++] = &child;
                is_in_text = false;
                break;
            }
            case QXmlStreamReader::EndElement:
                if (--depth == 0) return true;
                is_in_text = false;
                break;
            case QXmlStreamReader::Characters: {
                // The reader splits one text run at CDATA sections and entity references; the run
                // is the value. A run after a child element replaces the one before it.
                MessageValue& value = open[depth - 1]->value_;
                const size_t size_before = is_in_text ? value.text_.size() : 0;
                if (is_in_text) {
                    append_utf8(value.text_, reader.text());
                } else {
                    value.type_ = MessageValue::TYPE_STRING;
                    value.text_ = utf8_of(reader.text());
                    is_in_text = true;
                }
                limits.count(value.text_.size() - size_before, reader);
                break;
            }
            case QXmlStreamReader::Invalid: throw_reader_error(reader);
            default: break;
            }
        }
    }

    // Reads a whole document: one element, then nothing but comments, processing instructions and
    // white space. A peer's document must be all there, in well-formed UTF-8 of XML characters (the
    // reader would drop a cut sequence at the end, and takes some characters XML forbids in names).
    static void read_document(std::string_view data, Message& target, bool is_from_peer) {
        const size_t most_bytes = is_from_peer ? kMaxDecodedText : static_cast<size_t>(INT_MAX);
        if (data.size() > most_bytes) {
            throw Exception("%s: Document of %zu bytes too large", "read_xml_element", data.size());
        }
        if (is_from_peer && !ipc_is_xml_text(data)) {
            throw Exception("%s: Encountered incorrectly encoded content or a character XML does not allow",
                            "read_xml_element");
        }
        // The reader is released whenever this returns, however it returns: it must not keep
        // pointing into `data`, and it is empty for the next document without a second clear()
        // here, which would cost as much again as reading a short message's elements.
        QXmlStreamReader& reader = reusable_reader().reader();
        struct Release {
            bool is_clean = false;  // read to the end without a document type or XML declaration
            ~Release() { reusable_reader().release(is_clean); }
        } release;
        reader.addData(QByteArray::fromRawData(data.data(), static_cast<int>(data.size())));
        Limits limits = Limits::of_document(data, is_from_peer);

        Message decoded;
        if (!read_tree(reader, decoded, limits)) throw_reader_error(reader);
        while (!reader.atEnd()) reader.readNext();
        // Fed incrementally, the reader reports the end of its data as a premature end; after a
        // complete root element a file may end that way, but a peer's document is whole.
        if (reader.hasError() && (is_from_peer || reader.error() != QXmlStreamReader::PrematureEndOfDocumentError)) {
            throw_reader_error(reader);
        }
        release.is_clean = !limits.has_doctype && !limits.has_declaration;
        target.absorb(decoded);
    }

    static void check_name(const std::string& name, int depth, const char* operation) {
        if (depth > kMaxDepth) throw Exception("%s: Nesting deeper than %d levels", operation, kMaxDepth);
        if (!xml_is_ncname(name)) throw Exception("%s: Invalid element name '%s'", operation, name.c_str());
    }

    static void check_attribute_name(const std::string& name, const char* operation) {
        if (!xml_is_attribute_name(name)) {
            throw Exception("%s: Invalid attribute name '%s'", operation, name.c_str());
        }
    }

    static void append_indent(std::string& out, int depth) {
        out += '\n';
        out.append(static_cast<size_t>(depth - 1) * 4, ' ');
    }

    static void write_element(std::string& out, const Message& node, int depth, bool autoformat) {
        check_name(node.name_, depth, "write_xml");
        if (autoformat) append_indent(out, depth);
        out += '<';
        out += node.name_;
        std::string text;
        for (const auto& entry : node.attributes_) {
            check_attribute_name(entry.first, "write_xml");
            out += ' ';
            out += entry.first;
            out += "=\"";
            const MessageValue& value = entry.second;
            if (value.type() == MessageValue::TYPE_STRING) {
                append_xml_text(out, std::string_view(value.data(), value.size()), true);
            } else {
                text = value.as_string();
                append_xml_text(out, text, true);
            }
            out += '"';
        }
        if (node.children_.empty()) {
            out += "/>";
            return;
        }
        out += '>';
        for (const Message* child : node.children_) write_element(out, *child, depth + 1, autoformat);
        if (autoformat) append_indent(out, depth);
        out += "</";
        out += node.name_;
        out += '>';
    }

    static void write_element(QXmlStreamWriter& writer, const Message& node, int depth) {
        check_name(node.name_, depth, "write_xml_element");
        writer.writeStartElement(to_qstring(node.name_));
        node.write_xml_attributes(writer);
        for (const Message* child : node.children_) write_element(writer, *child, depth + 1);
        writer.writeEndElement();
    }
};

void Message::serialize(Format format, std::string& out, bool autoformat) const {
    if (format == XML) {
        write_xml(out, autoformat);
    } else if (format == COMPACT) {
        const size_t mark = out.size();
        out += '\0';
        try {
            write_compact(out);
        } catch (...) {
            out.resize(mark);
            throw;
        }
    }
}

void Message::write_xml(std::string& out, bool autoformat) const {
    out.clear();
    try {
        out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
        XmlCodec::write_element(out, *this, 1, autoformat);
        if (autoformat) out += '\n';
    } catch (...) {
        out.clear();
        throw;
    }
}

void Message::append_xml(std::string& out, int depth) const {
    XmlCodec::write_element(out, *this, depth, true);
}

void Message::append_xml_attribute(std::string& out, std::string_view name, std::string_view value) {
    if (!xml_is_attribute_name(name)) {
        throw Exception("%s: Invalid attribute name '%s'", "append_xml_attribute", std::string(name).c_str());
    }
    out += ' ';
    out += name;
    out += "=\"";
    append_xml_text(out, value, true);
    out += '"';
}

void Message::write_xml_element(QXmlStreamWriter& writer, bool document) const {
    if (document) writer.writeStartDocument();
    XmlCodec::write_element(writer, *this, 1);
    if (document) writer.writeEndDocument();
    if (writer.hasError()) throw Exception("%s: %s", "write_xml_element", "The output device refused the data");
}

void Message::write_xml_attributes(QXmlStreamWriter& writer) const {
    std::string text;
    for (const auto& entry : attributes_) {
        XmlCodec::check_attribute_name(entry.first, "write_xml_attributes");
        text.clear();
        append_xml_text(text, entry.second.as_string(), false);
        writer.writeAttribute(to_qstring(entry.first), to_qstring(text));
    }
}

int Message::parse(const std::string& data) {
    return parse_bytes(data, XmlReader::kStreamReader, nullptr);
}

int Message::parse_from_peer(const std::string& data) {
    return parse_bytes(data, XmlReader::kPeerFrameReader, nullptr);
}

int Message::parse_from_peer(const char* data, size_t length, bool* has_read_latin1) {
    return parse_bytes(std::string_view(data, length), XmlReader::kPeerFrameReader, has_read_latin1);
}

int Message::parse_from_peer_by_stream_reader(const char* data, size_t length, bool* has_read_latin1) {
    return parse_bytes(std::string_view(data, length), XmlReader::kPeerStreamReader, has_read_latin1);
}

int Message::parse_bytes(std::string_view data, XmlReader reader, bool* has_read_latin1) {
    clear_contents();
    if (has_read_latin1) *has_read_latin1 = false;
    if (data.empty()) return 1;
    const auto first = static_cast<signed char>(data[0]);
    if (first == '{') return 2;
    if (first == 0x00) {
        if (data.size() > UINT32_MAX) {
            throw Exception("%s: Message of %zu bytes too large", "parse_compact", data.size());
        }
        parse_compact(data.data(), 1, static_cast<uint32_t>(data.size()));
        return 0;
    }
    if (reader == XmlReader::kStreamReader) {
        if (first != '<' && first != 0x01) return first;
        XmlCodec::read_document(data, *this, false);
        return 1;
    }
    // From a peer, whatever else a document opens with is read as XML: the reader takes white space
    // before the root element and refuses text there, as it refuses any malformed frame. Passed on
    // as an empty message, the frame, and the element after its text, would be lost unseen.
    read_peer_xml(data, reader, has_read_latin1);
    return 1;
}

void Message::read_peer_xml(std::string_view document, XmlReader reader, bool* has_read_latin1) {
    const auto read = [&](std::string_view text) {
        if (reader == XmlReader::kPeerFrameReader) {
            read_frame_xml(text);
        } else {
            XmlCodec::read_document(text, *this, true);
        }
    };
    try {
        read(document);
    } catch (const Exception&) {
        // Either reader refuses a byte outside UTF-8 wherever it stands, and leaves this node as it
        // was. An error before that byte comes again from the same bytes.
        if (ipc_is_utf8(document)) throw;
        // A frame that is not valid UTF-8 is read again byte for byte as Latin-1 only where its
        // bytes form no well-formed UTF-8 sequence: bytes that do are kept as UTF-8, even where the
        // codec meant two Latin-1 characters ("CAF\xC9\xAE M\xFCller" reads "CAFɮ Müller", not
        // "CAFÉ® Müller"). That is deliberate: a text then reads the same in every frame, whether
        // or not another text of the frame has a stray byte, where a frame read whole as Latin-1
        // would show a name one way in one frame and another way in the next.
        read(ipc_utf8_with_latin1_bytes(document));
        if (has_read_latin1) *has_read_latin1 = true;
    }
}

void Message::parse_xml(const std::string& data) {
    XmlCodec::read_document(data, *this, false);
}

void Message::read_xml_element(QXmlStreamReader& reader) {
    Message decoded;
    XmlCodec::Limits limits = XmlCodec::Limits::of_reader();
    if (XmlCodec::read_tree(reader, decoded, limits)) absorb(decoded);
}

void Message::read_xml_attributes(QXmlStreamReader& reader) {
    XmlCodec::Limits limits = XmlCodec::Limits::of_reader();
    XmlCodec::read_attributes(reader, *this, limits);
}

void Message::write_to_file(Format format, const std::string& path) const {
    std::string data;
    try {
        if (format == XML) {
            write_xml(data, true);
        } else if (format == COMPACT) {
            serialize(COMPACT, data, false);
        } else {
            return;
        }
    } catch (const Exception& error) {
        throw Exception("%s: %s", "write_to_file", error.what());
    }
    save_file(path, data, "write_to_file");
}

void Message::write_bytes_to_file(const std::string& data, const std::string& path) {
    save_file(path, data, "write_bytes_to_file");
}

void Message::write_xml_file(const std::string& path, bool autoformat) const {
    std::string data;
    try {
        write_xml(data, autoformat);
    } catch (const Exception& error) {
        throw Exception("%s: %s", "write_xml_file", error.what());
    }
    save_file(path, data, "write_xml_file");
}

void Message::read_from_file(const std::string& path) {
    const std::string data = read_file(path, "read_from_file");
    int result;
    try {
        if (!data.empty() && data[0] == '<') {
            // As read_xml_file: added to what the node holds.
            XmlCodec::read_document(data, *this, false);
            return;
        }
        result = parse(data);
    } catch (const Exception& error) {
        throw Exception("%s: %s", "read_from_file", error.what());
    }
    if (!data.empty() && result != COMPACT) {
        throw Exception("%s: Unknown file format (first byte 0x%02x)", "read_from_file",
                        static_cast<unsigned>(static_cast<unsigned char>(data[0])));
    }
}

void Message::read_xml_file(const std::string& path) {
    const std::string data = read_file(path, "read_xml_file");
    try {
        XmlCodec::read_document(data, *this, false);
    } catch (const Exception& error) {
        throw Exception("%s: %s", "read_xml_file", error.what());
    }
}
