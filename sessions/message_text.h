#pragma once

#include <QString>

#include <string>

// A message's bytes (a name, an attribute's text), which are UTF-8, as a QString.
inline QString text_of(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size()));
}
