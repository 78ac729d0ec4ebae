#include "tools/codec-sim/request_checks.h"

#include "tools/codec-sim/codec_model.h"

namespace codec_sim {

void fail(Message& reply, int code, const std::string& text) {
    MessageAttributes& a = reply.attributes();
    a.set("fail", true);
    a.set("error_code", code);
    a.set("error_text", text);
}

const Message* first_child(const Message& node, const std::string& name) {
    return node.child_count(name) ? &node.get_child(name, 0) : nullptr;
}

std::string check_lengths(const Message& request, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (request.attributes().get_string(name, "").size() > CodecModel::kMaxTextLength) {
            return request.name() + ": " + name + " longer than " + std::to_string(CodecModel::kMaxTextLength) +
                   " bytes";
        }
    }
    return {};
}

}  // namespace codec_sim
