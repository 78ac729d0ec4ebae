#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Message;

// One typed scalar of a message: the value of a node or of an attribute. Known to callers as
// Message::Value. The tag numbers travel on the wire in the compact encoding and never change.
//
// The text form is the value's interchange form: conversions between types always go through it
// ("%d", "%u", six-decimal floats, "true"/"false"), so an int 1 reads as bool false and the string
// "12abc" reads as int 12. Texts never depend on the process locale.
class MessageValue {
public:
    enum Type : uint32_t {
        TYPE_NULL = 0,
        TYPE_STRING = 1,
        TYPE_INT = 2,
        TYPE_UINT = 3,
        TYPE_FLOAT = 4,
        TYPE_BOOL = 5,
    };
    static constexpr uint32_t kTypeCount = 6;

    MessageValue() = default;
    // A string value.
    explicit MessageValue(std::string_view text) : type_(TYPE_STRING), text_(text) {}

    uint32_t type() const { return type_; }

    void set(const std::string& text);
    // A literal is text: without this overload set("x") would pick set(bool) and store true.
    // A null pointer stores the empty text.
    void set(const char* text);
    template <typename T>
    void set(const T*) = delete;
    void set(int value);
    void set(unsigned value);
    void set(float value);
    void set(bool value);
    // Only the tag changes; the old text and scalar stay behind, unused.
    void set_null() { type_ = TYPE_NULL; }
    bool is_set() const { return type_ != TYPE_NULL; }

    // Keeps the tag and reads the text into it; a null value becomes a string.
    void set_text(const std::string& text);
    // Changes the tag, carrying the content over through its text form. Converting to TYPE_NULL
    // gives a string holding that text; a null value only takes the tag. Unknown tags are ignored.
    void convert(uint32_t type);
    // The compact decoder's setter: raw bytes for the current tag. A string takes the bytes; a
    // scalar takes up to its raw size (shorter input is zero-filled, a bool byte becomes 0 or 1).
    // Returns false, changing nothing, when `length` exceeds the raw size of the tag.
    bool set_raw(const char* bytes, uint32_t length);

    std::string to_string() const;
    std::string as_string() const { return to_string(); }
    int to_int() const;
    unsigned to_uint() const;
    float to_float() const;
    bool to_bool() const;

    // The raw form written by the compact encoding: the text of a string, the 4 scalar bytes in
    // host (little-endian) order for int, uint and float, one byte 0/1 for a bool, nothing for null.
    const char* data() const;
    size_t size() const;
    // The largest raw length the tag accepts; strings accept any (SIZE_MAX).
    static size_t raw_size_limit(uint32_t type);

    // "null", "string", "int", "uint", "float", "bool"; an empty text for unknown tags.
    static const char* type_name(uint32_t type);

    // Same tag: compares contents (floats numerically, so NaN equals nothing). Different tags:
    // compares the text forms, so int 5 equals "5" and null equals "".
    bool operator==(const MessageValue& other) const;
    bool operator!=(const MessageValue& other) const { return !(*this == other); }

private:
    friend class Message;  // the XML reader fills text_ in place

    int32_t scalar_int() const;
    uint32_t scalar_uint() const;
    float scalar_float() const;
    void store_scalar(const void* bytes, size_t length);
    void assign_text_form(uint32_t type, const std::string& text);

    uint32_t type_ = TYPE_NULL;
    // int, uint, float or bool (first byte); accessed through memcpy, never by punning
    alignas(4) unsigned char scalar_[4] = {0, 0, 0, 0};
    std::string text_;  // meaningful only for TYPE_STRING
};
