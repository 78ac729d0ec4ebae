#pragma once

#include <string>

#include "scheduler/job.h"

// Appends an element of attributes alone, as the message writer lays it out at `depth`: the
// schedule file's "job" and "call" elements, written straight rather than through a message tree,
// since a schedule is saved whole at every change. The names are the records' own, and a value
// spelt out by the program goes as it is: only codec texts are checked and escaped, for thousands
// of elements at every save. The element is closed when this goes out of scope.
class ElementText {
public:
    ElementText(std::string& out, const char* name, int depth);
    ~ElementText();
    ElementText(const ElementText&) = delete;
    ElementText& operator=(const ElementText&) = delete;

    // Appends each attribute it is handed, in the order handed (the records hand them in name order).
    Job::AttributeVisitor attributes();

private:
    std::string& out_;
};
