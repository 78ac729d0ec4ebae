#include "ipc/message/message_attributes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "ipc/base/ipc_string.h"

namespace {

// One value of the attribute text form starting at `pos`, which is moved past it. A value in double
// quotes ends at the next unescaped quote; a backslash takes the next character literally. After a
// closing quote the separating character is skipped unseen. An unquoted value ends at a blank.
std::string parse_quoted(const std::string& text, size_t& pos) {
    const size_t size = text.size();
    if (pos >= size || text[pos] != '"') {
        const size_t blank = text.find(' ', pos < size ? pos : size);
        if (blank == std::string::npos) {
            std::string value = pos < size ? text.substr(pos) : std::string();
            pos = size;
            return value;
        }
        std::string value = text.substr(pos, blank - pos);
        pos = blank + 1;
        return value;
    }
    std::string value;
    size_t i = pos + 1;
    while (i < size) {
        const char c = text[i];
        if (c == '"') {
            pos = i + 2 < size ? i + 2 : size;
            return value;
        }
        if (c == '\\') {
            if (i + 1 < size) value += text[i + 1];
            i += 2;
            continue;
        }
        value += c;
        ++i;
    }
    pos = size;  // no closing quote: the value takes the rest and the reading ends
    return value;
}

bool name_less(const MessageAttributes::Entry& entry, std::string_view name) {
    return std::string_view(entry.first) < name;
}

// ipc_url_encode leaves "&", "=" and "+" alone; escape them here so that a pair reads back whole.
void append_form_encoded(std::string& out, const std::string& text) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t special = text.find_first_of("&=+", start);
        const size_t stop = special == std::string::npos ? text.size() : special;
        if (stop > start) out += ipc_url_encode(text.substr(start, stop - start));
        if (special == std::string::npos) break;
        switch (text[special]) {
        case '&': out += "%26"; break;
        case '=': out += "%3d"; break;
        default: out += "%2b"; break;
        }
        start = special + 1;
    }
}

}  // namespace

MessageAttributes::MessageAttributes(const char* text) {
    if (text) parse(text);
}

MessageAttributes::MessageAttributes(const std::string& text) {
    parse(text);
}

const MessageValue* MessageAttributes::find(std::string_view name) const {
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), name, name_less);
    return it != entries_.end() && it->first == name ? &it->second : nullptr;
}

MessageValue& MessageAttributes::slot(std::string_view name) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), name, name_less);
    if (it == entries_.end() || it->first != name) it = entries_.emplace(it, std::string(name), MessageValue());
    return it->second;
}

void MessageAttributes::restore_order() {
    // Nearly every pair of neighbouring names differs in its first byte, which settles the order
    // without the call to memcmp a string comparison makes: that call was most of this check's cost.
    const auto is_out_of_order = [](const Entry& a, const Entry& b) {
        if (!a.first.empty() && !b.first.empty() && a.first[0] != b.first[0]) {
            return static_cast<unsigned char>(a.first[0]) > static_cast<unsigned char>(b.first[0]);
        }
        return !(a.first < b.first);
    };
    if (std::adjacent_find(entries_.begin(), entries_.end(), is_out_of_order) == entries_.end()) return;
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.first < b.first; });
    // Equal names now stand together in arrival order; the last of each run wins.
    auto kept = entries_.begin();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        const auto next = it + 1;
        if (next != entries_.end() && next->first == it->first) continue;
        if (kept != it) *kept = std::move(*it);
        ++kept;
    }
    entries_.erase(kept, entries_.end());
}

uint32_t MessageAttributes::get_type(std::string_view name) const {
    const MessageValue* value = find(name);
    return value ? value->type() : MessageValue::TYPE_NULL;
}

MessageValue MessageAttributes::get(std::string_view name) const {
    const MessageValue* value = find(name);
    return value ? *value : MessageValue();
}

std::vector<std::string> MessageAttributes::keys() const {
    std::vector<std::string> names;
    names.reserve(entries_.size());
    for (const auto& entry : entries_) names.push_back(entry.first);
    return names;
}

void MessageAttributes::remove(std::string_view name) {
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), name, name_less);
    if (it != entries_.end() && it->first == name) entries_.erase(it);
}

bool MessageAttributes::get_bool(std::string_view name, bool def) const {
    const MessageValue* value = find(name);
    return value && value->is_set() ? value->to_bool() : def;
}

int MessageAttributes::get_int(std::string_view name, int def) const {
    const MessageValue* value = find(name);
    return value ? value->to_int() : def;
}

unsigned MessageAttributes::get_uint(std::string_view name, unsigned def) const {
    const MessageValue* value = find(name);
    return value ? value->to_uint() : def;
}

float MessageAttributes::get_float(std::string_view name, float def) const {
    const MessageValue* value = find(name);
    return value ? value->to_float() : def;
}

float MessageAttributes::get_scaled(std::string_view name, float def, unsigned scale) const {
    const MessageValue* value = find(name);
    if (!value || scale == 0) return def;
    return static_cast<float>(static_cast<double>(value->to_int()) / scale);
}

std::string MessageAttributes::get_string(std::string_view name, const std::string& def) const {
    const MessageValue* value = find(name);
    return value ? value->to_string() : def;
}

QString MessageAttributes::get_qstring(std::string_view name, const QString& def) const {
    const MessageValue* value = find(name);
    if (!value) return def;
    const std::string text = value->to_string();
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

void MessageAttributes::set(std::string_view name, bool value) {
    slot(name).set(value);
}

void MessageAttributes::set(std::string_view name, int value) {
    slot(name).set(value);
}

void MessageAttributes::set(std::string_view name, unsigned value) {
    slot(name).set(value);
}

void MessageAttributes::set(std::string_view name, float value) {
    slot(name).set(value);
}

void MessageAttributes::set(std::string_view name, const std::string& value) {
    slot(name).set(value);
}

void MessageAttributes::set(std::string_view name, const char* value) {
    slot(name).set(value);
}

void MessageAttributes::set(std::string_view name, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    slot(name).set(std::string(utf8.constData(), static_cast<size_t>(utf8.size())));
}

void MessageAttributes::set(std::string_view name, const MessageValue& value) {
    slot(name) = value;
}

void MessageAttributes::set_scaled(std::string_view name, float value, unsigned scale) {
    // The product is formed in float, as the reading side's callers expect of a float times a scale.
    const float product = value * static_cast<float>(scale);
    int stored;
    if (std::isnan(product)) {
        stored = 0;
    } else if (product >= 2147483648.0f) {
        stored = std::numeric_limits<int32_t>::max();
    } else if (product <= -2147483648.0f) {
        stored = std::numeric_limits<int32_t>::min();
    } else {
        stored = static_cast<int>(product);
    }
    slot(name).set(stored);
}

void MessageAttributes::merge(const MessageAttributes& other, bool overwrite) {
    if (this == &other) return;
    if (overwrite) {
        for (const auto& entry : other.entries_) {
            const auto it = std::lower_bound(entries_.begin(), entries_.end(), entry.first, name_less);
            if (it != entries_.end() && it->first == entry.first) it->second = entry.second;
        }
        return;
    }
    std::vector<Entry> merged;
    merged.reserve(entries_.size() + other.entries_.size());
    auto mine = entries_.begin();
    for (const auto& entry : other.entries_) {
        while (mine != entries_.end() && mine->first < entry.first) merged.push_back(std::move(*mine++));
        if (mine != entries_.end() && mine->first == entry.first) continue;  // present: left alone
        merged.push_back(entry);
    }
    while (mine != entries_.end()) merged.push_back(std::move(*mine++));
    entries_.swap(merged);
}

MessageAttributes& MessageAttributes::operator+=(const MessageAttributes& other) {
    if (this == &other) return *this;
    std::vector<Entry> merged;
    merged.reserve(entries_.size() + other.entries_.size());
    auto mine = entries_.begin();
    for (const auto& entry : other.entries_) {
        while (mine != entries_.end() && mine->first < entry.first) merged.push_back(std::move(*mine++));
        if (mine != entries_.end() && mine->first == entry.first) ++mine;  // replaced by theirs
        merged.push_back(entry);
    }
    while (mine != entries_.end()) merged.push_back(std::move(*mine++));
    entries_.swap(merged);
    return *this;
}

MessageAttributes operator+(const MessageAttributes& a, const MessageAttributes& b) {
    MessageAttributes sum(a);
    sum += b;
    return sum;
}

bool MessageAttributes::operator==(const MessageAttributes& other) const {
    if (entries_.size() != other.entries_.size()) return false;
    auto theirs = other.entries_.begin();
    for (const auto& entry : entries_) {
        if (entry.first != theirs->first || entry.second != theirs->second) return false;
        ++theirs;
    }
    return true;
}

std::string MessageAttributes::quote_value(const std::string& text) {
    if (text.find_first_of("\" ") == std::string::npos) return text;
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string MessageAttributes::to_string() const {
    std::string text;
    for (const auto& entry : entries_) {
        text += entry.first;
        text += '=';
        text += quote_value(entry.second.to_string());
        text += ' ';
    }
    return text;
}

void MessageAttributes::parse(const std::string& text) {
    // The empty text is the form of the empty list, so it names nothing.
    if (text.empty()) return;
    MessageAttributes read;
    size_t pos = 0;
    while (true) {
        const size_t delimiter = text.find_first_of("= ", pos);
        if (delimiter == std::string::npos) {
            read.append_unordered(text.substr(pos)).set(std::string());
            break;
        }
        MessageValue& value = read.append_unordered(text.substr(pos, delimiter - pos));
        if (text[delimiter] == ' ') {
            value.set(std::string());
            pos = delimiter + 1;
        } else {
            pos = delimiter + 1;
            value.set(parse_quoted(text, pos));
        }
        if (pos >= text.size()) break;
    }
    read.restore_order();
    *this += read;
}

std::string MessageAttributes::to_url_form() const {
    std::string text;
    bool first = true;
    for (const auto& entry : entries_) {
        if (!first) text += '&';
        first = false;
        append_form_encoded(text, entry.first);
        // A bare empty name would be no pair at all; "=" with nothing after it reads back as null.
        if (entry.second.is_set() || entry.first.empty()) {
            text += '=';
            append_form_encoded(text, entry.second.to_string());
        }
    }
    return text;
}

void MessageAttributes::parse_url_form(const std::string& text) {
    MessageAttributes read;
    const size_t size = text.size();
    size_t pos = 0;
    while (pos < size) {
        size_t stop = text.find('&', pos);
        if (stop == std::string::npos) stop = size;
        const std::string pair = text.substr(pos, stop - pos);
        const size_t equals = pair.find('=');
        if (equals != std::string::npos && equals + 1 < pair.size()) {
            read.append_unordered(ipc_url_decode(pair.substr(0, equals))).set(ipc_url_decode(pair.substr(equals + 1)));
        } else {
            read.append_unordered(ipc_url_decode(pair.substr(0, equals)));  // null
        }
        pos = stop + 1;
    }
    read.restore_order();
    *this += read;
}
