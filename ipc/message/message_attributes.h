#pragma once

#include <QString>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ipc/message/message_value.h"

class Message;

// The attribute list of a message node, known to callers as Message::Attributes: names mapped to
// typed values, kept, iterated and written in byte-wise name order whatever the order of setting.
// A name occurs once; setting it again replaces value and type. The empty name is a valid name.
//
// Names are taken as string views so that literals and std::string both look up without
// allocating; a name must not be a null pointer. Every getter takes a default and never throws.
//
// Storage is one sorted vector rather than a node per attribute: lists are short, and parsing a
// message then costs one allocation per element instead of one per attribute. Lookups are binary
// searches; setting a new name shifts the entries after it.
class MessageAttributes {
public:
    using Entry = std::pair<std::string, MessageValue>;
    using const_iterator = std::vector<Entry>::const_iterator;

    MessageAttributes() = default;
    // Reads the attribute text form (see parse); a null pointer gives an empty list.
    explicit MessageAttributes(const char* text);
    explicit MessageAttributes(const std::string& text);

    size_t size() const { return entries_.size(); }
    bool not_empty() const { return !entries_.empty(); }
    bool has(std::string_view name) const { return find(name) != nullptr; }
    // The value's type tag, TYPE_NULL when the name is absent.
    uint32_t get_type(std::string_view name) const;
    // A copy of the value; a null value when absent.
    MessageValue get(std::string_view name) const;
    std::vector<std::string> keys() const;
    void remove(std::string_view name);
    void clear() { entries_.clear(); }

    // Entries in name order; `first` is the name, `second` the value.
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

    // Absent names give the default. A present null value gives the default only for get_bool;
    // the others convert it (its text is empty, so numbers read 0).
    bool get_bool(std::string_view name, bool def) const;
    int get_int(std::string_view name, int def) const;
    unsigned get_uint(std::string_view name, unsigned def) const;
    float get_float(std::string_view name, float def) const;
    // The int value divided by `scale`; a scale of 0 gives the default.
    float get_scaled(std::string_view name, float def, unsigned scale) const;
    std::string get_string(std::string_view name, const std::string& def) const;
    QString get_qstring(std::string_view name, const QString& def) const;

    void set(std::string_view name, bool value);
    void set(std::string_view name, int value);
    void set(std::string_view name, unsigned value);
    void set(std::string_view name, float value);
    void set(std::string_view name, const std::string& value);
    // A literal is text: without this overload set("k", "x") would store bool true.
    // A null pointer stores the empty text.
    void set(std::string_view name, const char* value);
    template <typename T>
    void set(std::string_view name, const T*) = delete;
    void set(std::string_view name, const QString& value);
    void set(std::string_view name, const MessageValue& value);
    // Stores the int `value * scale`, truncated toward zero, clamped to the int32 range; NaN stores 0.
    void set_scaled(std::string_view name, float value, unsigned scale);

    // overwrite false: adds only the names this list lacks. overwrite true: replaces the values of
    // names this list has and adds none.
    void merge(const MessageAttributes& other, bool overwrite);
    // Inserts or overwrites every attribute of `other`.
    MessageAttributes& operator+=(const MessageAttributes& other);

    // Same names in the same order with values equal by MessageValue::operator==.
    bool operator==(const MessageAttributes& other) const;
    bool operator!=(const MessageAttributes& other) const { return !(*this == other); }

    // The attribute text form: `name=value ` per attribute, values quoted when they hold a blank or
    // a double quote. Names are written as they are.
    std::string to_string() const;
    // Reads the attribute text form into this list, every value as a string. Names not in the text
    // keep their values. Never fails and never reads past the text.
    void parse(const std::string& text);
    static std::string quote_value(const std::string& text);

    // The form-encoded form: `name=value` pairs joined by "&", percent-encoded so that "&", "=" and
    // "+" inside names and values survive; a null value writes the bare name ("=" for the empty name).
    std::string to_url_form() const;
    // Reads a form-encoded text; a pair without a value (or with an empty one) stores null.
    void parse_url_form(const std::string& text);

private:
    friend class Message;  // the decoders append entries and restore the order once

    const MessageValue* find(std::string_view name) const;
    // The value for `name`, inserted as a null value when absent.
    MessageValue& slot(std::string_view name);
    // The decoders' path: entries are appended in arrival order, which is name order for
    // everything we write, and restore_order() then sorts once, a later duplicate replacing an
    // earlier one. A hostile list thus costs n log n, never n squared.
    MessageValue& append_unordered(std::string&& name) {
        entries_.emplace_back(std::move(name), MessageValue());
        return entries_.back().second;
    }
    void restore_order();

    std::vector<Entry> entries_;  // sorted by name, byte-wise; names unique
};

MessageAttributes operator+(const MessageAttributes& a, const MessageAttributes& b);
