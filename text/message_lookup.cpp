#include "text/message_lookup.h"

#include "ipc/message/message.h"
#include "text/codec_text.h"

QString attributeText(const Message& element, const char* attribute) {
    return element.attributes().get_qstring(attribute, QString());
}

QString shownAttributeText(const Message& element, const char* attribute) {
    return shownCodecText(attributeText(element, attribute));
}

const Message* firstChild(const Message& parent, const std::string& name) {
    return parent.child_count(name) ? &parent.get_child(name, 0) : nullptr;
}
