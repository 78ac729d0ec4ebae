#include "sessions/session_requests.h"

namespace session_requests {

Message request(const char* name) {
    Message message;
    message.set_name(name);
    return message;
}

Message request(const WireRequest& wire) {
    return renamed(Message(), wire);
}

Message renamed(Message copy, const WireRequest& wire) {
    copy.set_name(wire.name);
    if (wire.seq) copy.attributes().set("seq", wire.seq);
    return copy;
}

const OperatorRequest* operator_request(const QString& refused_as) {
    for (const OperatorRequest* each : kOperatorRequests) {
        if (refused_as == QLatin1String(each->refused_as())) return each;
    }
    return nullptr;
}

Message event_log_request() {
    Message message = request(kGetEventLog);
    message.attributes().set("clear", false);
    message.attributes().set("detail", true);
    return message;
}

Message metering_on_request(uint32_t interval) {
    Message message = request("monitor");
    message.attributes().set("metering", true);
    message.attributes().set("meterInterval", interval);
    return message;
}

Message monitor_request(uint32_t interval) {
    Message message = request("monitor");
    message.attributes().set("peerStats", true);
    message.attributes().set("queue", false);
    message.attributes().set("channelStats", true);
    message.attributes().set("metering", true);
    message.attributes().set("meterInterval", interval);
    return message;
}

Message peer_settings_request(int id, int profile) {
    Message message = request(kSetPeerSettings.wire);
    message.attributes().set("id", id);
    message.attributes().set("profile", profile);
    return message;
}

Message metering_off_request() {
    Message message = request("monitor");
    message.attributes().set("metering", false);
    return message;
}

}  // namespace session_requests
