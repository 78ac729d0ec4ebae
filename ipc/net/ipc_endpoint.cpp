#include "ipc/net/ipc_endpoint.h"

#include <algorithm>

#include "ipc/base/ipc_clock.h"
#include "ipc/base/ipc_string.h"
#include "ipc/base/logger.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"

IPCEndpoint::IPCEndpoint() : stamp_us_(ipc_now_us()) {}

IPCEndpoint::~IPCEndpoint() = default;

void IPCEndpoint::set_name(IPCManager* manager, const std::string& name) {
    manager_ = manager;
    name_ = name;
}

void IPCEndpoint::tick() {
    if (!connection_ || !connection_->is_open() || timeout_s_ == 0) return;
    if (idle_s() > timeout_s_) on_timeout();
}

int64_t IPCEndpoint::next_tick_due_us() const {
    if (!connection_ || !connection_->is_open() || connection_->is_failed() || timeout_s_ == 0) return kNoTickDue;
    // idle_s() passes the time-out once a whole second more has gone, counted as it counts. Life
    // shown since only moves this later, and the tick then finds the endpoint not idle yet.
    return last_sign_of_life_us() + (int64_t{timeout_s_} + 1) * 1000000;
}

void IPCEndpoint::set_timeout(uint32_t seconds) {
    timeout_s_ = seconds;
    tick_due_changed();
}

void IPCEndpoint::touch() {
    stamp_us_ = ipc_now_us();
}

uint32_t IPCEndpoint::idle_s() const {
    return static_cast<uint32_t>((ipc_now_us() - last_sign_of_life_us()) / 1000000);
}

int64_t IPCEndpoint::last_sign_of_life_us() const {
    // Bytes of a frame still arriving are life, as long as they come at a useful pace: a large
    // answer over a slow link takes its time, a trickle does not keep a dead codec.
    const int64_t live_us = connection_ ? connection_->last_live_us() : 0;
    return std::max(stamp_us_, live_us);
}

void IPCEndpoint::trace(const char* direction, const Message& message) const {
    if (!is_tracing_) return;
    std::string text;
    message.serialize(Message::XML, text, false);
    ipc_strip_xml_declaration(text);
    ipc_logger().log(4, "%s %s: %s", direction, description().c_str(), text.c_str());
}

std::string IPCEndpoint::description() const {
    return connection_ ? connection_->address().to_string() : "(unknown)";
}

void IPCEndpoint::set_error(Message& reply, int code, const std::string& text) {
    reply.attributes().set("fail", true);
    reply.attributes().set("error_code", code);
    reply.attributes().set("error_text", text);
}
