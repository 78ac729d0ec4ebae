#include "tools/codec-sim/codec_sim_manager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ipc/base/ipc_clock.h"
#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/base/logger.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_server.h"
#include "tools/codec-sim/codec_endpoint.h"
#include "tools/codec-sim/codec_protocol.h"
#include "tools/codec-sim/simulated_codec.h"

namespace {

// A peer's "interval" is checked against the moment its last report went out, which lies a little
// after the moment the codec decided to publish it. Waiting this much longer than the period keeps
// a report from being refused by the peer's own interval by a few microseconds.
constexpr int64_t kIntervalSlackUs = 500;

}  // namespace

CodecSimManager::CodecSimManager(CodecSimContext& context) : context_(context) {}

void CodecSimManager::add_codec(SimulatedCodec* codec) {
    codecs_.push_back(codec);
    codecs_by_server_[codec->server_name] = codec;
}

SimulatedCodec* CodecSimManager::find_codec(const std::string& server_name) const {
    const auto it = codecs_by_server_.find(server_name);
    return it == codecs_by_server_.end() ? nullptr : it->second;
}

size_t CodecSimManager::peer_count() const {
    IPCMutexGuard guard(get_lock());
    size_t count = 0;
    for (const SimulatedCodec* codec : codecs_) count += codec->endpoints.size();
    return count;
}

IPCEndpointServer* CodecSimManager::create_endpoint_server(const std::string& server_name) {
    SimulatedCodec* codec = find_codec(server_name);
    return codec ? new CodecEndpoint(*codec) : IPCManager::create_endpoint_server(server_name);
}

IPCProtocol* CodecSimManager::create_server_protocol(const std::string& name, IPCConn* connection) {
    SimulatedCodec* codec = connection->server() ? find_codec(connection->server()->name()) : nullptr;
    if (name == "xmls" && codec) return new CodecProtocol(connection, *codec);
    return IPCManager::create_server_protocol(name, connection);
}

void CodecSimManager::on_timer_hook() {
    const CodecSimOptions& options = context_.options;
    const int64_t elapsed_ms = (ipc_now_us() - context_.started_us) / 1000;
    if (options.close_after_ms > 0 && !context_.has_closed && elapsed_ms >= options.close_after_ms) {
        context_.has_closed = true;
        close_connections();
    }
    if (options.silent_after_ms > 0 && !context_.is_silent && elapsed_ms >= options.silent_after_ms) {
        context_.is_silent = true;
        ipc_logger().log(4, "codec-sim: silent from now on");
    }
    if (options.trickle_after_ms > 0 && elapsed_ms >= options.trickle_after_ms) trickle();
    if (options.deaf_after_ms > 0 && !context_.is_deaf && elapsed_ms >= options.deaf_after_ms) {
        context_.is_deaf = true;
        ipc_logger().log(4, "codec-sim: deaf from now on");
    }
    write_counts();
    if (context_.is_silent) return;
    for (SimulatedCodec* codec : codecs_) {
        const bool is_panel_call_up = codec->model.place_panel_calls(ipc_now_us());
        if (codec->model.answer_ringing(ipc_now_us()) || is_panel_call_up) CodecEndpoint::send_pushes(*codec);
        change_texts(*codec);
        publish_reports(*codec);
    }
}

void CodecSimManager::trickle() {
    const int64_t now_us = ipc_now_us();
    if (context_.trickled_us != 0 && now_us - context_.trickled_us < CodecSimOptions::kTricklePeriodMs * 1000) return;
    // The frame opens once; each later byte goes on with it.
    const char* bytes = context_.trickled_us == 0 ? "<unso id=\"trickle\" pad=\"" : "x";
    if (context_.trickled_us == 0) ipc_logger().log(4, "codec-sim: silent but for a trickle from now on");
    context_.is_silent = true;
    context_.trickled_us = now_us;
    for (SimulatedCodec* codec : codecs_) {
        for (CodecEndpoint* peer : codec->endpoints) {
            if (peer->is_admitted() && peer->connection()) peer->connection()->send_data(std::string(bytes));
        }
    }
}

void CodecSimManager::change_texts(SimulatedCodec& codec) {
    const CodecSimOptions& options = context_.options;
    if (options.long_text_length == 0 && options.log_burst == 0) return;
    const int64_t now_us = ipc_now_us();
    if (codec.last_texts_us != 0 && now_us - codec.last_texts_us < CodecSimOptions::kTextPeriodMs * 1000) return;
    codec.last_texts_us = now_us;
    if (options.long_text_length > 0) codec.model.lengthen_texts(now_us, options.long_text_length);
    codec.model.log_burst(now_us, options.log_burst);
    CodecEndpoint::send_pushes(codec);
}

bool CodecSimManager::is_levels(const CodecModel::Subscription& subscription) {
    return std::strcmp(subscription.name, "metering") == 0;
}

int64_t CodecSimManager::fastest_period_ms(const CodecModel::Subscription& subscription) const {
    return is_levels(subscription) ? context_.options.meter_ms : subscription.publish_ms;
}

int64_t CodecSimManager::publish_period_ms(const SimulatedCodec& codec,
                                           const CodecModel::Subscription& subscription) const {
    int64_t period_ms = 0;
    for (const CodecEndpoint* peer : codec.endpoints) {
        if (!peer->is_admitted() || !peer->holds(subscription.name)) continue;
        const int64_t asked_ms = is_levels(subscription) ? peer->subscription(subscription.name) : 0;
        const int64_t peer_ms = std::max(fastest_period_ms(subscription), asked_ms);
        period_ms = period_ms == 0 ? peer_ms : std::min(period_ms, peer_ms);
    }
    return period_ms;
}

void CodecSimManager::publish_reports(SimulatedCodec& codec) {
    if (codec.endpoints.empty()) return;
    const std::vector<CodecModel::Subscription>& table = CodecModel::subscriptions();
    const int64_t now_us = ipc_now_us();
    for (size_t row = 0; row < table.size(); ++row) {
        const CodecModel::Subscription& subscription = table[row];
        if (subscription.publish_ms <= 0) continue;
        int64_t& last_us = codec.last_report_us[row];
        const auto is_early = [&](int64_t period_ms) {
            return last_us != 0 && now_us - last_us < period_ms * 1000 + kIntervalSlackUs;
        };
        // Looked at every tick: the peers are asked only once the fastest period has passed.
        if (is_early(fastest_period_ms(subscription))) continue;
        const int64_t period_ms = publish_period_ms(codec, subscription);
        if (period_ms == 0 || is_early(period_ms)) continue;  // built only for a peer that takes it
        if (last_us == 0 && context_.options.has_random_phase) {
            // The first report comes that phase of a period after the first peer wants it.
            const auto period_us = static_cast<double>(period_ms) * 1000.0;
            last_us = now_us - static_cast<int64_t>(period_us * (1.0 - codec.report_phase));
            continue;
        }
        last_us = now_us;
        Message report;
        if (!codec.model.report(subscription.name, now_us, report)) continue;
        if (context_.options.stamps_reports) report.attributes().set("sent_us", std::to_string(ipc_now_us()));
        for (CodecEndpoint* peer : codec.endpoints) {
            if (peer->is_admitted() && peer->holds(subscription.name)) {
                peer->publish(report, subscription.name, subscription.is_payload);
            }
        }
    }
}

void CodecSimManager::write_counts() {
    const std::string& path = context_.options.counts_path;
    const int64_t now_us = ipc_now_us();
    if (path.empty() || now_us - context_.counts_written_us < CodecSimOptions::kCountsPeriodMs * 1000) return;
    context_.counts_written_us = now_us;
    // Written beside and renamed over, so that a reader never finds the line half written.
    const std::string written = path + ".new";
    std::FILE* file = std::fopen(written.c_str(), "w");
    if (!file) return;
    std::fprintf(file, "%lld %llu %llu\n", static_cast<long long>(now_us),
                 static_cast<unsigned long long>(context_.published_reports),
                 static_cast<unsigned long long>(context_.published_levels));
    if (std::fclose(file) == 0) std::rename(written.c_str(), path.c_str());
}

void CodecSimManager::close_connections() {
    size_t closed = 0;
    for (SimulatedCodec* codec : codecs_) {
        for (CodecEndpoint* peer : codec->endpoints) {
            if (!peer->connection()) continue;
            peer->connection()->set_error("closed by codec-sim");
            ++closed;
        }
    }
    ipc_logger().log(4, "codec-sim: closed %zu connections", closed);
}
