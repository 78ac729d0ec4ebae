#pragma once

#include <string_view>

// XML names as our readers take them and our writer writes them: NCNames, that is XML 1.0 names
// without a colon, whose letters and name characters are those of XML 1.0's Appendix B (Basic
// Multilingual Plane only). These are the names QXmlStreamReader accepts for elements, so a name is
// valid here exactly when that reader would take it as an element name.

// Bits of xml_ascii_name_class: may start a name, may continue one.
constexpr unsigned char kXmlNameStart = 1;
constexpr unsigned char kXmlNamePart = 2;

// The name bits of an ASCII character (0 for every byte from 0x80).
constexpr unsigned char xml_ascii_name_class(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_') return kXmlNameStart | kXmlNamePart;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') return kXmlNamePart;
    return 0;
}

// `name` (UTF-8) is a non-empty NCName; ill-formed UTF-8 is not.
bool xml_is_ncname(std::string_view name);

// An attribute name: an NCName other than "xmlns", which declares a namespace and never reaches a
// reader's attribute list.
bool xml_is_attribute_name(std::string_view name);
