#include "dialogs/message_lookup.h"

#include "dialogs/codec_text.h"
#include "ipc/message/message.h"

QString attributeText(const Message& element, const char* attribute) {
    return element.attributes().get_qstring(attribute, QString());
}

QString shownAttributeText(const Message& element, const char* attribute) {
    return shownCodecText(attributeText(element, attribute));
}

const Message* firstChild(const Message& parent, const std::string& name) {
    return parent.child_count(name) ? &parent.get_child(name, 0) : nullptr;
}
