#include "ipc/message/xml_entity_bound.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <string>

namespace {

// Entity names are XML names, so a reference longer than this is not one.
constexpr size_t kMaxNameLength = 256;

class ExpansionMeasure {
public:
    ExpansionMeasure(const QXmlStreamEntityDeclarations& declarations, size_t ceiling) : ceiling_(ceiling) {
        for (const QXmlStreamEntityDeclaration& declaration : declarations) {
            // External entities are never fetched: a reference to one decodes to nothing.
            if (!declaration.systemId().isEmpty()) continue;
            values_[declaration.name().toUtf8().toStdString()] = declaration.value().toUtf8().toStdString();
        }
    }

    bool has_entities() const { return !values_.empty(); }

    // The length of `text` with each reference to a declared entity counted as its expansion.
    size_t expanded_length(std::string_view text) {
        size_t total = text.size();
        for (size_t i = text.find('&'); i != std::string_view::npos && total <= ceiling_; i = text.find('&', i + 1)) {
            const size_t end = text.find(';', i + 1);
            if (end == std::string_view::npos || end - i - 1 > kMaxNameLength) continue;
            total = add(total, entity_length(std::string(text.substr(i + 1, end - i - 1))));
        }
        return add(total, 0);
    }

private:
    size_t entity_length(const std::string& name) {
        const auto value = values_.find(name);
        if (value == values_.end()) return 0;  // predefined, or a character reference: never longer
        const auto known = lengths_.find(name);
        if (known != lengths_.end()) return known->second;
        lengths_[name] = ceiling_ + 1;  // while it is measured: an entity that refers back never ends
        const size_t length = expanded_length(value->second);
        lengths_[name] = length;
        return length;
    }

    // a + b, or ceiling_ + 1 when that is more than ceiling_.
    size_t add(size_t a, size_t b) const { return a > ceiling_ || b > ceiling_ - a ? ceiling_ + 1 : a + b; }

    const size_t ceiling_;
    std::map<std::string, std::string> values_;
    std::map<std::string, size_t> lengths_;
};

}  // namespace

size_t xml_expanded_length_bound(std::string_view document, const QXmlStreamEntityDeclarations& declarations,
                                 size_t ceiling) {
    ExpansionMeasure measure(declarations, ceiling);
    if (!measure.has_entities()) return document.size() > ceiling ? ceiling + 1 : document.size();
    return measure.expanded_length(document);
}
