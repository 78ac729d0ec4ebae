#include "ipc/message/message_value.h"

#include <cstring>

#include "ipc/base/ipc_string.h"

void MessageValue::set(const std::string& text) {
    type_ = TYPE_STRING;
    text_ = text;
}

void MessageValue::set(const char* text) {
    type_ = TYPE_STRING;
    if (text) {
        text_ = text;
    } else {
        text_.clear();
    }
}

void MessageValue::set(int value) {
    type_ = TYPE_INT;
    store_scalar(&value, sizeof value);
}

void MessageValue::set(unsigned value) {
    type_ = TYPE_UINT;
    store_scalar(&value, sizeof value);
}

void MessageValue::set(float value) {
    type_ = TYPE_FLOAT;
    store_scalar(&value, sizeof value);
}

void MessageValue::set(bool value) {
    type_ = TYPE_BOOL;
    const unsigned char byte = value ? 1 : 0;
    store_scalar(&byte, 1);
}

void MessageValue::store_scalar(const void* bytes, size_t length) {
    std::memset(scalar_, 0, sizeof scalar_);
    std::memcpy(scalar_, bytes, length);
}

int32_t MessageValue::scalar_int() const {
    int32_t value;
    std::memcpy(&value, scalar_, sizeof value);
    return value;
}

uint32_t MessageValue::scalar_uint() const {
    uint32_t value;
    std::memcpy(&value, scalar_, sizeof value);
    return value;
}

float MessageValue::scalar_float() const {
    float value;
    std::memcpy(&value, scalar_, sizeof value);
    return value;
}

void MessageValue::assign_text_form(uint32_t type, const std::string& text) {
    switch (type) {
    case TYPE_NULL:
    case TYPE_STRING:
        type_ = TYPE_STRING;
        text_ = text;
        break;
    case TYPE_INT: set(static_cast<int>(ipc_string_to_int(text))); break;
    case TYPE_UINT: set(static_cast<unsigned>(ipc_string_to_uint(text))); break;
    case TYPE_FLOAT: set(ipc_string_to_float(text)); break;
    case TYPE_BOOL: set(ipc_string_to_bool(text)); break;
    default: break;
    }
}

void MessageValue::set_text(const std::string& text) {
    assign_text_form(type_, text);
}

void MessageValue::convert(uint32_t type) {
    if (type >= kTypeCount) return;
    if (type_ == TYPE_NULL) {
        type_ = type;
        return;
    }
    assign_text_form(type, to_string());
}

size_t MessageValue::raw_size_limit(uint32_t type) {
    switch (type) {
    case TYPE_NULL: return 0;
    case TYPE_STRING: return SIZE_MAX;
    case TYPE_BOOL: return 1;
    default: return 4;
    }
}

bool MessageValue::set_raw(const char* bytes, uint32_t length) {
    if (length > raw_size_limit(type_)) return false;
    switch (type_) {
    case TYPE_NULL: break;
    case TYPE_STRING: text_.assign(bytes, length); break;
    case TYPE_BOOL: {
        const unsigned char byte = length > 0 && bytes[0] != 0 ? 1 : 0;
        store_scalar(&byte, 1);
        break;
    }
    default: store_scalar(bytes, length); break;
    }
    return true;
}

std::string MessageValue::to_string() const {
    switch (type_) {
    case TYPE_STRING: return text_;
    case TYPE_INT: return ipc_int_to_string(scalar_int());
    case TYPE_UINT: return ipc_uint_to_string(scalar_uint());
    case TYPE_FLOAT: return ipc_float_to_string(scalar_float());
    case TYPE_BOOL: return scalar_[0] ? "true" : "false";
    default: return std::string();
    }
}

int MessageValue::to_int() const {
    if (type_ == TYPE_INT) return scalar_int();
    if (type_ == TYPE_STRING) return ipc_string_to_int(text_);
    return ipc_string_to_int(to_string());
}

unsigned MessageValue::to_uint() const {
    if (type_ == TYPE_UINT) return scalar_uint();
    if (type_ == TYPE_STRING) return ipc_string_to_uint(text_);
    return ipc_string_to_uint(to_string());
}

float MessageValue::to_float() const {
    if (type_ == TYPE_FLOAT) return scalar_float();
    if (type_ == TYPE_STRING) return ipc_string_to_float(text_);
    return ipc_string_to_float(to_string());
}

bool MessageValue::to_bool() const {
    if (type_ == TYPE_BOOL) return scalar_[0] != 0;
    if (type_ == TYPE_STRING) return ipc_string_to_bool(text_);
    return ipc_string_to_bool(to_string());
}

const char* MessageValue::data() const {
    if (type_ == TYPE_STRING) return text_.data();
    return reinterpret_cast<const char*>(scalar_);
}

size_t MessageValue::size() const {
    switch (type_) {
    case TYPE_STRING: return text_.size();
    case TYPE_NULL: return 0;
    case TYPE_BOOL: return 1;
    default: return 4;
    }
}

const char* MessageValue::type_name(uint32_t type) {
    static const char* const kNames[kTypeCount] = {"null", "string", "int", "uint", "float", "bool"};
    return type < kTypeCount ? kNames[type] : "";
}

bool MessageValue::operator==(const MessageValue& other) const {
    if (type_ != other.type_) {
        // Strings are compared in place; only the other side needs its text form built.
        if (type_ == TYPE_STRING) return text_ == other.to_string();
        if (other.type_ == TYPE_STRING) return to_string() == other.text_;
        return to_string() == other.to_string();
    }
    switch (type_) {
    case TYPE_NULL: return true;
    case TYPE_STRING: return text_ == other.text_;
    case TYPE_INT:
    case TYPE_UINT: return scalar_uint() == other.scalar_uint();
    case TYPE_FLOAT: return scalar_float() == other.scalar_float();
    case TYPE_BOOL: return scalar_[0] == other.scalar_[0];
    default: return false;
    }
}
