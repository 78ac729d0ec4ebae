// Message::parse over XML text from a peer or a file. Whatever parses must write back, through the
// direct writer and through QXmlStreamWriter alike, and read back with the same names, attribute
// texts and child order; a second write must give the same bytes.
#include <QByteArray>
#include <QXmlStreamWriter>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ipc/base/exception.h"
#include "ipc/message/message.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void require_same_shape(const Message& a, const Message& b) {
    require(a.name() == b.name());
    require(a.attributes().size() == b.attributes().size());
    auto theirs = b.attributes().begin();
    for (const auto& entry : a.attributes()) {
        require(entry.first == theirs->first);
        require(entry.second.to_string() == theirs->second.to_string());
        ++theirs;
    }
    require(a.size() == b.size());
    for (int row = 0; row < a.size(); ++row) require_same_shape(a.get_child(row), b.get_child(row));
}

// A local name "xmlns" (from a prefixed attribute such as p:xmlns) cannot be written back: without
// a prefix it declares a namespace. Refusing to write such a tree is the intended outcome.
bool has_xmlns_attribute(const Message& node) {
    if (node.attributes().has("xmlns")) return true;
    for (int row = 0; row < node.size(); ++row) {
        if (has_xmlns_attribute(node.get_child(row))) return true;
    }
    return false;
}

std::string qt_xml_of(const Message& message, bool autoformat) {
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.setAutoFormatting(autoformat);
    message.write_xml_element(writer, true);
    if (!autoformat && bytes.endsWith('\n')) bytes.chop(1);
    return bytes.toStdString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    Message message;
    int format;
    try {
        format = message.parse(input);
    } catch (const Exception&) {
        return 0;
    }
    if (format != Message::XML || input.empty()) return 0;

    for (const bool autoformat : {false, true}) {
        std::string xml;
        try {
            message.write_xml(xml, autoformat);
        } catch (const Exception&) {
            require(has_xmlns_attribute(message));
            return 0;
        }
        require(xml == qt_xml_of(message, autoformat));
        Message back;
        back.parse(xml);  // must not throw
        require_same_shape(message, back);
        std::string again;
        back.write_xml(again, autoformat);
        require(again == xml);
    }
    return 0;
}
