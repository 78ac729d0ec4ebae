#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ipc/base/ipc_recursive_mutex.h"
#include "ipc/net/ipc_manager.h"
#include "tools/codec-sim/codec_model.h"

struct CodecSimContext;
struct SimulatedCodec;

// The IPC manager of a codec fleet: makes codec endpoints and codec protocols for the fleet's
// servers and, on every timer tick, brings up the calls whose far end answered, publishes each
// codec's reports to the peers that hold their subscriptions, changes the texts of codecs that flood the program with
// text, applies the fleet's "silent after" and "close after" times and writes what it has published (counts_path).
//
// A codec measures its levels as often as its peers ask, never more often than the fleet's
// metering pace (CodecSimOptions::meter_ms); each peer gets them at its own interval.
//
// Threads: the loop runs on the fleet's thread. Other threads call only what IPCManager allows,
// plus peer_count(), each under get_lock(), a real recursive mutex. add_codec() is for the
// fleet's constructor, before the loop starts.
class CodecSimManager : public IPCManager {
public:
    // Short enough that a 67 ms report goes out at most a tick late.
    static constexpr uint32_t kTickMs = 10;

    explicit CodecSimManager(CodecSimContext& context);

    void add_codec(SimulatedCodec* codec);
    // Server endpoints alive over all codecs: one per connected peer.
    size_t peer_count() const;

    IPCEndpointServer* create_endpoint_server(const std::string& server_name) override;
    IPCProtocol* create_server_protocol(const std::string& name, IPCConn* connection) override;
    IPCMutex* get_lock() const override { return &lock_; }
    IPCMutex* get_queue_lock() const override { return &queue_lock_; }
    void on_timer_hook() override;

private:
    // Once trickling: the next byte of the never-ending frame to every peer, when its period is up.
    void trickle();
    SimulatedCodec* find_codec(const std::string& server_name) const;
    // Lengthens the codec's texts and logs its burst once a period (CodecSimOptions).
    void change_texts(SimulatedCodec& codec);
    void publish_reports(SimulatedCodec& codec);
    static bool is_levels(const CodecModel::Subscription& subscription);
    // The shortest period of `subscription`, whoever asks: the table's, or the metering pace.
    int64_t fastest_period_ms(const CodecModel::Subscription& subscription) const;
    // How often `codec` publishes `subscription`, in milliseconds; 0 while no peer it has let in
    // holds it.
    int64_t publish_period_ms(const SimulatedCodec& codec, const CodecModel::Subscription& subscription) const;
    void write_counts();
    void close_connections();

    CodecSimContext& context_;             // not owned; outlives the manager
    std::vector<SimulatedCodec*> codecs_;  // not owned; they outlive the manager
    std::map<std::string, SimulatedCodec*> codecs_by_server_;
    mutable IPCRecursiveMutex lock_;
    mutable IPCRecursiveMutex queue_lock_;
};
