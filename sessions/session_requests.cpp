#include "sessions/session_requests.h"

namespace session_requests {

Message request(const char* name) {
    Message message;
    message.set_name(name);
    return message;
}

Message fetch(const char* name, const char* seq) {
    Message message = request(name);
    message.attributes().set("seq", seq);
    return message;
}

Message event_log_request() {
    Message message = fetch("getEventLog", "eventLog");
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
    Message message = fetch("setPeerSettings", "setPeerSettings");
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
