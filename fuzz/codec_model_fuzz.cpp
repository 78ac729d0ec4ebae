// One simulated codec's request handling: the input is cut at NUL bytes into frames, as the xmls
// protocol cuts a stream; each frame that parses is handled as a request, in order, so that a
// sequence (add a peer, connect it, read the event log) reaches the state it builds. Every reply
// is also written the way the event-log reply is sent, pushes are taken, and every report is built.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "ipc/base/exception.h"
#include "ipc/message/message.h"
#include "tools/codec-sim/codec_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CodecModel model(static_cast<int>(size % 7));
    int64_t now_us = 1000000;

    size_t start = 0;
    while (start <= bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        Message request;
        bool is_parsed = false;
        try {
            request.parse(bytes.substr(start, end - start));
            is_parsed = true;
        } catch (const std::exception&) {
        }
        start = end + 1;
        if (!is_parsed) continue;

        Message reply;
        reply.set_name("resp");
        if (request.attributes().has("seq")) {
            reply.attributes().set("seq", request.attributes().get_string("seq", ""));
        }
        now_us += 250000;
        if (model.handle_request(request, now_us, reply)) {
            try {
                const std::string frame = CodecModel::frame_with_text(reply);
                if (frame.empty() || frame.back() != '\0') __builtin_trap();
            } catch (const Exception&) {
                // Names no XML can carry are refused, as the library's writer refuses them.
            }
        }
        for (const Message& push : model.take_pushes()) {
            if (push.name() != "unso") __builtin_trap();
        }
    }
    for (const CodecModel::Subscription& subscription : CodecModel::subscriptions()) {
        Message report;
        model.report(subscription.name, now_us, report);
    }
    return 0;
}
