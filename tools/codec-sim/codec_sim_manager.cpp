#include "tools/codec-sim/codec_sim_manager.h"

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
    if (context_.is_silent) return;
    for (SimulatedCodec* codec : codecs_) {
        change_texts(*codec);
        publish_reports(*codec);
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

void CodecSimManager::publish_reports(SimulatedCodec& codec) {
    if (codec.endpoints.empty()) return;
    const std::vector<CodecModel::Subscription>& table = CodecModel::subscriptions();
    const int64_t now_us = ipc_now_us();
    for (size_t row = 0; row < table.size(); ++row) {
        const CodecModel::Subscription& subscription = table[row];
        if (subscription.publish_ms <= 0) continue;
        int64_t& last_us = codec.last_report_us[row];
        if (last_us != 0 && now_us - last_us < int64_t{subscription.publish_ms} * 1000 + kIntervalSlackUs) {
            continue;
        }

        // Built only for a codec that has a peer to take it.
        bool is_wanted = false;
        for (const CodecEndpoint* peer : codec.endpoints) {
            is_wanted = is_wanted || (peer->is_admitted() && peer->holds(subscription.name));
        }
        if (!is_wanted) continue;
        if (last_us == 0 && context_.options.has_random_phase) {
            // The first report comes that phase of a period after the first peer wants it.
            const auto period_us = static_cast<double>(subscription.publish_ms) * 1000.0;
            last_us = now_us - static_cast<int64_t>(period_us * (1.0 - codec.report_phase));
            continue;
        }
        last_us = now_us;
        Message report;
        if (!codec.model.report(subscription.name, now_us, report)) continue;
        if (context_.options.stamps_reports) report.attributes().set("sent_us", std::to_string(ipc_now_us()));
        for (CodecEndpoint* peer : codec.endpoints) {
            if (!peer->is_admitted() || !peer->holds(subscription.name)) continue;
            if (subscription.is_payload) {
                peer->notify(report, subscription.name);
            } else if (peer->is_due(subscription.name)) {
                peer->send_unso(report);  // already a whole frame, with the "id" the program reads
            }
        }
    }
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
