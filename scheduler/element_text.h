#pragma once

#include <string>
#include <string_view>

#include "ipc/message/message.h"
#include "scheduler/job.h"

// Appends an element of attributes alone, as the message writer lays it out at `depth`: the
// schedule file's "job" and "call" elements, written straight rather than through a message tree,
// since a schedule is saved whole at every change. The names are the records' own, and a value
// spelt out by the program goes as it is: only codec texts are checked and escaped, for thousands
// of elements at every save. The element is closed when this goes out of scope. Defined here, so
// that the writers of those thousands of elements inline it.
class ElementText {
public:
    ElementText(std::string& out, const char* name, int depth) : out_(out) {
        out_ += '\n';
        out_.append(static_cast<size_t>(depth - 1) * 4, ' ');
        out_ += '<';
        out_ += name;
    }
    ~ElementText() { out_ += "/>"; }
    ElementText(const ElementText&) = delete;
    ElementText& operator=(const ElementText&) = delete;

    // Appends each attribute it is handed, in the order handed (the records hand them in name order).
    Job::AttributeVisitor attributes() {
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

private:
    std::string& out_;
};
