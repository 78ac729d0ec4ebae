#include "tools/codec-sim/codec_endpoint.h"

#include <algorithm>

#include "ipc/base/ipc_clock.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/protocols/ipc_protocol_xmls.h"
#include "ipc/protocols/ipc_protocol_xmls_server.h"
#include "tools/codec-sim/codec_protocol.h"
#include "tools/codec-sim/simulated_codec.h"

namespace {

// Half as much again as the receive limit of the xmls protocol (2 MiB buffered without a NUL).
constexpr size_t kOversizeBytes = 3 * 1024 * 1024;

std::string with_nul(const std::string& text) {
    return text + std::string(1, '\0');
}

std::string hostile_frames(HostileKind kind, const SimulatedCodec& codec) {
    const CodecModel& model = codec.model;
    switch (kind) {
    case HostileKind::kChildless: return with_nul("<unso id=\"metering\"/>") + with_nul("<unso id=\"peer_stats\"/>");
    case HostileKind::kUnknown: {
        // Shaped like the reports of a real subscription that publishes one name per setting.
        std::string reports;
        for (int i = 0; i < codec.context.options.unknown_report_count; ++i) {
            reports += with_nul("<unso id=\"cfgData:setting." + std::to_string(i) + "\" value=\"" + std::to_string(i) +
                                "\"/>");
        }
        return reports;
    }
    case HostileKind::kUtf8:
        // A two-byte sequence cut short, then bytes that never occur in UTF-8.
        return with_nul("<unso id=\"unso\"><peerList><peer id=\"1\" name=\"Stu" + std::string("\xC3\x28\xFF\xFE") +
                        "dio\"/></peerList></unso>");
    case HostileKind::kFlood: {
        std::string burst;
        const int64_t now_us = ipc_now_us();
        for (int i = 0; i < CodecEndpoint::kFloodReports; ++i) {
            Message unso;
            unso.set_name("unso");
            unso.attributes().set("id", "metering");
            Message& payload = unso.add_child("metering");
            if (!model.report("metering", now_us + int64_t{i} * 67000, payload)) payload.set_name("metering");
            burst += IPCProtocolXMLS::frame(unso);
        }
        return burst;
    }
    case HostileKind::kNul:
        return with_nul("<unso id=\"unso\"><sysOptions unit_name=\"Stu" + std::string(1, '\0') + "dio\"/></unso>");
    case HostileKind::kDepth: {
        const int levels = Message::kMaxDepth + 16;
        std::string nested;
        for (int i = 0; i < levels; ++i) nested += "<n>";
        for (int i = 0; i < levels; ++i) nested += "</n>";
        return with_nul("<unso id=\"unso\">" + nested + "</unso>");
    }
    case HostileKind::kTag:
        return with_nul("<unso id=\"unso\"><peerList><peer id=\"1\" name=\"Studio\"></peerList></unso>");
    case HostileKind::kOversize: {
        const std::string start = "<unso id=\"metering\"><metering pad=\"";
        const std::string end = "\"/></unso>";
        return with_nul(start + std::string(kOversizeBytes - start.size() - end.size(), 'x') + end);
    }
    case HostileKind::kHuge: return "<unso id=\"metering\"><metering pad=\"" + std::string(kOversizeBytes, 'x');
    case HostileKind::kSwallowedPings: return {};  // sent with the answers (before_ping_answer)
    }
    return {};
}

}  // namespace

CodecEndpoint::CodecEndpoint(SimulatedCodec& codec) : codec_(codec) {
    codec_.endpoints.push_back(this);
}

CodecEndpoint::~CodecEndpoint() {
    auto& endpoints = codec_.endpoints;
    endpoints.erase(std::remove(endpoints.begin(), endpoints.end(), this), endpoints.end());
}

bool CodecEndpoint::needs_auth_from(const IPCAddress& /*peer*/) const {
    // Unlike the library's default, a loopback peer is challenged too: codec-sim exists to test the login.
    return codec_.context.options.mode != CodecSimMode::kNoLogin;
}

bool CodecEndpoint::lookup_account(const std::string& /*user*/, std::string& password, std::string& role) const {
    if (codec_.context.options.mode == CodecSimMode::kRefuse) return false;
    // The program logs in with an empty user name; a codec has one password whoever asks.
    password = codec_.context.options.password;
    role = "admin";
    return true;
}

bool CodecEndpoint::is_legacy_peer() const {
    const auto* protocol = connection_ ? dynamic_cast<const IPCProtocolXMLSServer*>(connection_->protocol()) : nullptr;
    return protocol && protocol->peer_version() == 0;
}

bool CodecEndpoint::is_refused(const std::string& name) {
    const CodecSimOptions& options = codec_.context.options;
    if (options.refused_requests.count(name) == 0) return false;
    if (options.refusals == 0) return true;
    int& made = codec_.refusals_made[name];
    if (made >= options.refusals) return false;
    ++made;
    return true;
}

bool CodecEndpoint::handle_command(const Message& request, Message& reply) {
    const bool is_legacy = is_legacy_peer();
    if (is_legacy && request.name() == "monitor") follow_legacy_monitor(request);
    // The model expects the reply to carry the request's "seq" already (the protocol sets it again).
    if (request.attributes().has("seq")) {
        reply.attributes().set("seq", request.attributes().get_string("seq", ""));
    }
    if (is_refused(request.name())) {
        set_error(reply, kRefusedCode, "Refused by codec-sim");
    } else {
        if (!codec_.model.handle_request(request, ipc_now_us(), reply)) return false;
        if (request.name() == "getEventLog" && !is_legacy && connection_) {
            // The entries are element text, which the library's writer never writes: this reply goes
            // out as our own frame, and the protocol sends nothing for the request.
            static_cast<CodecProtocol*>(connection_->protocol())->send_frame(CodecModel::frame_with_text(reply));
            reply.set_name("");
        }
        // While the request is handled the protocol holds what is sent, and writes it after the reply.
        send_pushes(codec_);
    }
    if (!is_legacy && codec_.context.options.swapped_answers.count(request.name()) != 0) swap_answer(reply);
    if (!is_legacy && is_unanswered_success(request, reply)) reply.set_name("");  // the protocol sends nothing
    return true;
}

bool CodecEndpoint::is_unanswered_success(const Message& request, const Message& reply) const {
    return !request.attributes().has("seq") && !reply.attributes().has("fail") &&
           codec_.context.options.unanswered_successes.count(request.name()) != 0;
}

void CodecEndpoint::swap_answer(Message& reply) {
    if (!held_answer_) {
        held_answer_ = reply;
        reply.set_name("");  // the protocol sends nothing for this request
        return;
    }
    // Held by the protocol until this reply has gone.
    send_unso(*held_answer_);
    held_answer_.reset();
}

void CodecEndpoint::send_pushes(SimulatedCodec& codec) {
    for (const Message& push : codec.model.take_pushes()) {
        for (CodecEndpoint* peer : codec.endpoints) {
            if (peer->is_admitted()) peer->send_unso(push);
        }
    }
}

void CodecEndpoint::follow_legacy_monitor(const Message& request) {
    struct Switch {
        const char* attribute;
        const char* subscription;
    };
    static const Switch kSwitches[] = {{"metering", "metering"},
                                       {"peerStats", "peer_stats"},
                                       {"channelStats", "channel_stats"}};
    const Message::Attributes& attributes = request.attributes();
    for (const Switch& each : kSwitches) {
        if (!attributes.has(each.attribute)) continue;
        if (!attributes.get_bool(each.attribute, false)) {
            subscriptions_.erase(each.subscription);
            continue;
        }
        const bool is_metering = std::string(each.subscription) == "metering";
        subscriptions_[each.subscription] = is_metering ? attributes.get_uint("meterInterval", 0) : 0;
    }
}

void CodecEndpoint::publish(const Message& report, const std::string& name, bool is_payload) {
    if (!is_due(name)) return;
    const bool is_levels = name == "metering";
    ++codec_.context.published_reports;
    if (is_levels) ++codec_.context.published_levels;
    if (!is_payload) {
        send_unso(report);
        return;
    }
    Message unso;
    unso.set_name("unso");
    unso.attributes().set("id", name);
    Message& payload = unso.add_child_copy(report);
    // An unversioned peer reads its levels from a bare "levels" frame; the protocol sends the
    // payload of an "unso" without the wrapper.
    if (is_levels && is_legacy_peer()) payload.set_name("levels");
    send_unso(unso);
}

void CodecEndpoint::on_admitted() {
    send_unso(codec_.model.system_options_push());
    send_hostile_frames();
}

void CodecEndpoint::before_ping_answer() {
    const std::vector<HostileKind>& kinds = codec_.context.options.hostile;
    if (!connection_ || std::find(kinds.begin(), kinds.end(), HostileKind::kSwallowedPings) == kinds.end()) return;
    if (++pings_answered_ % 2 != 0) return;
    connection_->set_send_limit(std::max<uint32_t>(connection_->send_limit(), kHostileSendLimit));
    connection_->send_data(hostile_frames(HostileKind::kHuge, codec_));
}

void CodecEndpoint::send_hostile_frames() {
    const std::vector<HostileKind>& kinds = codec_.context.options.hostile;
    if (kinds.empty() || !connection_) return;
    std::string bytes;
    for (const HostileKind kind : kinds) bytes += hostile_frames(kind, codec_);
    connection_->set_send_limit(std::max<uint32_t>(connection_->send_limit(), kHostileSendLimit));
    connection_->send_data(bytes);
}
