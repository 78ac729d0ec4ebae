#include "scheduler/element_text.h"

#include "ipc/message.h"

ElementText::ElementText(std::string& out, const char* name, int depth) : out_(out) {
    out_ += '\n';
    out_.append(static_cast<size_t>(depth - 1) * 4, ' ');
    out_ += '<';
    out_ += name;
}

ElementText::~ElementText() {
    out_ += "/>";
}

Job::AttributeVisitor ElementText::attributes() {
    return [this](const char* name, std::string_view text, bool is_spelt_out) {
        if (!is_spelt_out) {
            Message::append_xml_attribute(out_, name, text);
            return;
        }
        out_ += ' ';
        out_ += name;
        out_ += "=\"";
        out_ += text;
        out_ += '"';
    };
}
