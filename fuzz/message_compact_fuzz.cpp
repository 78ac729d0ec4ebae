// The compact decoder over bytes from a compact connection or message file. Whatever decodes must
// re-encode to bytes that decode to the same tree and encode identically again. Decoded trees carry
// arbitrary names and values, so they also exercise the XML writer's refusals and replacements:
// both XML writers must agree, and what they accept must read back with the same shape.
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
    require(a.attributes().keys() == b.attributes().keys());
    require(a.size() == b.size());
    for (int row = 0; row < a.size(); ++row) require_same_shape(a.get_child(row), b.get_child(row));
}

void check_xml(const Message& message) {
    std::string xml;
    bool is_written = true;
    try {
        message.write_xml(xml, false);
    } catch (const Exception&) {
        is_written = false;
    }
    QByteArray qt_bytes;
    QXmlStreamWriter writer(&qt_bytes);
    bool is_qt_written = true;
    try {
        message.write_xml_element(writer, true);
    } catch (const Exception&) {
        is_qt_written = false;
    }
    require(is_written == is_qt_written);
    if (!is_written) return;
    if (qt_bytes.endsWith('\n')) qt_bytes.chop(1);
    require(xml == qt_bytes.toStdString());

    Message back;
    back.parse(xml);  // what we write, we read
    require_same_shape(message, back);
    std::string again;
    back.write_xml(again, false);
    require(again == xml);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    Message message;
    try {
        message.parse_compact(bytes, 0, static_cast<uint32_t>(size));
    } catch (const Exception&) {
        return 0;
    }
    std::string encoded;
    message.write_compact(encoded);  // a decoded tree is always within the encoding's limits
    Message back;
    require(back.parse_compact(encoded.data(), 0, static_cast<uint32_t>(encoded.size())) == encoded.size());
    std::string again;
    back.write_compact(again);
    require(again == encoded);
    check_xml(message);
    return 0;
}
