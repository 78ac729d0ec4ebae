#pragma once

#include <QXmlStreamEntityDeclarations>

#include <cstddef>
#include <string_view>

// The most characters of text an XML document can decode to once its entity references are
// expanded: its own length, plus, for every reference to one of the internal entities declared,
// that entity's full expansion (references inside it included). QXmlStreamReader caps what one
// entity expands to, but not how often it is referred to, and it builds a whole text run or
// attribute value before reporting it; so a document is measured with this before the reader
// expands anything.
//
// An over-estimate: references inside comments or CDATA count too. The result saturates just above
// `ceiling`, which is all a caller comparing against it needs, and a recursive entity counts as
// more than `ceiling` (the reader refuses it anyway).
size_t xml_expanded_length_bound(std::string_view document, const QXmlStreamEntityDeclarations& declarations,
                                 size_t ceiling);
