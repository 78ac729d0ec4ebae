#include "sessions/session_requests.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace session_requests {

namespace {

void set_metering(Request& request, bool is_on, uint32_t interval) {
    request.attributes().set("metering", is_on);
    if (is_on) request.attributes().set("meterInterval", interval);
}

}  // namespace

Request::Request(const WireRequest& wire) : Request(Message(), wire) {}

Request::Request(Message content, const WireRequest& wire) : message_(std::move(content)) {
    message_.set_name(wire.name);
    if (wire.seq) message_.attributes().set("seq", wire.seq);
}

bool is_read(const Message& message) {
    const std::string seq = message.attributes().get_string("seq", "");
    return std::any_of(std::begin(kReads), std::end(kReads),
                       [&](const WireRequest& read) { return message.name() == read.name && seq == read.seq; });
}

Request event_log_request() {
    Request request(kGetEventLog);
    request.attributes().set("clear", false);
    request.attributes().set("detail", true);
    return request;
}

Request metering_request(bool is_on, uint32_t interval) {
    Request request(kMonitor);
    set_metering(request, is_on, interval);
    return request;
}

AskedRequest metering_switch(bool is_on, uint32_t interval) {
    AskedRequest request(is_on ? kMeteringOn : kMeteringOff);
    set_metering(request, is_on, interval);
    return request;
}

Request monitor_request(uint32_t interval) {
    Request request(kMonitor);
    request.attributes().set("peerStats", true);
    request.attributes().set("queue", false);
    request.attributes().set("channelStats", true);
    request.attributes().set("metering", true);
    request.attributes().set("meterInterval", interval);
    return request;
}

AskedRequest peer_settings_request(int id, int profile) {
    AskedRequest request(kSetPeerSettings);
    request.attributes().set("id", id);
    request.attributes().set("profile", profile);
    return request;
}

}  // namespace session_requests
