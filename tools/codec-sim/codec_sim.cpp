#include "tools/codec-sim/codec_sim.h"

#include <sys/socket.h>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_clock.h"
#include "ipc/net/ipc_address.h"
#include "tools/codec-sim/codec_sim_manager.h"

CodecSim::CodecSim(const CodecSimOptions& options) {
    const std::string refusal = options.check();
    if (!refusal.empty()) throw Exception("CodecSim: %s", refusal.c_str());
    context_.options = options;
    if (!options.record_path.empty()) {
        context_.recorder = std::make_unique<FrameRecorder>(options.record_path);
    }

    manager_ = std::make_unique<CodecSimManager>(context_);
    const int family = options.host == "::1" ? AF_INET6 : AF_INET;
    for (int index = 0; index < options.count; ++index) {
        auto codec = std::make_unique<SimulatedCodec>(context_, index);
        const uint16_t port = options.base_port == 0 ? 0 : static_cast<uint16_t>(options.base_port + index);
        const IPCAddress address(options.host, port, family);
        if (!manager_->listen("stream", address, codec->server_name, 0, 0)) {
            const std::string error = manager_->server_error(codec->server_name);
            throw Exception("CodecSim: cannot listen on %s: %s", address.to_string().c_str(), error.c_str());
        }
        codec->port = manager_->server_address(codec->server_name).port();
        ports_.push_back(codec->port);
        manager_->add_codec(codec.get());
        codecs_.push_back(std::move(codec));
    }
    manager_->set_timer_interval(CodecSimManager::kTickMs);
    context_.started_us = ipc_now_us();
    loop_thread_ = std::thread([this] { manager_->event_loop(); });
}

CodecSim::~CodecSim() {
    stop();
}

void CodecSim::stop() {
    manager_->stop();
    if (loop_thread_.joinable()) loop_thread_.join();
}

size_t CodecSim::peer_count() const {
    return manager_->peer_count();
}
