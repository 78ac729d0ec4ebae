#pragma once

#include <initializer_list>
#include <string>

#include "ipc/message/message.h"

// How a simulated codec reads the parts of a request and refuses one.
namespace codec_sim {

// Error codes of refused requests, after their HTTP namesakes.
inline constexpr int kBadRequest = 400;
inline constexpr int kNotFound = 404;
inline constexpr int kConflict = 409;

// Refuses through `reply`: "fail", "error_code" and "error_text".
void fail(Message& reply, int code, const std::string& text);
// The first child named `name`; null when there is none.
const Message* first_child(const Message& node, const std::string& name);
// Rejects over-long texts of a request; empty when all listed attributes fit.
std::string check_lengths(const Message& request, std::initializer_list<const char*> names);

}  // namespace codec_sim
