#include <gtest/gtest.h>

#include <QString>
#include <QXmlStreamReader>

#include <string>

#include "ipc/message/xml_name.h"

namespace {

// Whether QXmlStreamReader takes `name` whole as an element name without a prefix.
bool is_reader_element_name(const QString& name) {
    QXmlStreamReader reader(("<" + name + "/>").toUtf8());
    bool is_seen = false;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            is_seen = reader.prefix().isEmpty() && reader.name() == name;
        }
    }
    return is_seen && !reader.hasError();
}

// Every character of the Basic Multilingual Plane, first in a name and after a letter, against the
// reader whose element names the tables were measured on.
TEST(XmlName, AgreesWithQXmlStreamReaderOnEveryCharacter) {
    int disagreements = 0;
    for (char32_t code = 0x20; code < 0xFFFE; ++code) {
        if (code >= 0xD800 && code <= 0xDFFF) continue;
        const QString character(QChar(static_cast<char16_t>(code)));
        for (const bool is_first : {true, false}) {
            const QString name = is_first ? character : "a" + character;
            const bool expected = is_reader_element_name(name);
            if (xml_is_ncname(name.toStdString()) != expected) {
                ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(code) << (is_first ? " first" : " after a")
                              << ": the reader says " << expected;
                if (++disagreements == 10) return;
            }
        }
    }
}

struct NameCase {
    const char* name;
    bool is_ncname;
    bool is_attribute_name;
};
const NameCase kNames[] = {
    {"a", true, true},       {"_a-1.b", true, true},
    {"xmlns", true, false},  {"xmlnsx", true, true},
    {"", false, false},      {"1a", false, false},
    {"-a", false, false},    {"a:b", false, false},
    {"a b", false, false},   {"\xC3\xA9t\xC3\xA9", true, true},
    {"a\xC3", false, false}, {"\xF0\x90\x80\x80", false, false},  // beyond the BMP: no name character
};

TEST(XmlName, NamesAndAttributeNames) {
    for (const NameCase& c : kNames) {
        EXPECT_EQ(xml_is_ncname(c.name), c.is_ncname) << c.name;
        EXPECT_EQ(xml_is_attribute_name(c.name), c.is_attribute_name) << c.name;
    }
}

}  // namespace
