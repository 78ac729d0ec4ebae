#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tools/codec-sim/codec_model.h"
#include "tools/codec-sim/codec_sim_options.h"
#include "tools/codec-sim/frame_recorder.h"

class CodecEndpoint;

// What every codec of one fleet shares: the options, the recorder and the fleet-wide switches.
// Threads: written by the fleet's constructor, then only on its loop thread.
struct CodecSimContext {
    CodecSimOptions options;
    std::unique_ptr<FrameRecorder> recorder;  // null when not recording
    int64_t started_us = 0;                   // ipc_now_us() when the fleet started
    bool is_silent = false;                   // nothing is answered or published any more
    bool is_deaf = false;                     // nothing the peers send is handled any more
    int64_t trickled_us = 0;                  // when the last byte of the trickle went; 0 = none yet
    bool has_closed = false;                  // the one close of every connection has happened
    uint64_t published_reports = 0;           // reports sent to peers so far, of every kind
    uint64_t published_levels = 0;            // those of them that carried levels
    int64_t counts_written_us = 0;            // when options.counts_path was last written; 0 = never
};

// One simulated codec: its IPC server's name and port, its model and the server endpoints of its
// peers, each of which registers itself here for its lifetime.
// Threads: built before the fleet's loop starts, then touched on the loop thread only.
struct SimulatedCodec {
    SimulatedCodec(CodecSimContext& shared, int codec_index)
        : context(shared),
          index(codec_index),
          server_name("codec-" + std::to_string(codec_index)),
          model(codec_index, shared.options.calendar_origin_s, shared.options.writes_latin1, shared.options.channels),
          last_report_us(CodecModel::subscriptions().size(), 0),
          report_phase(phase_of(codec_index)) {
        model.fill_address_book(static_cast<size_t>(shared.options.peers));
        model.set_malformed_settings(shared.options.malformed_settings);
        model.set_reusing_profile_ids(shared.options.reuses_profile_ids);
        model.set_reusing_peer_ids(shared.options.reuses_peer_ids);
        model.set_answer_after_us(shared.options.answer_after_ms * 1000);
        model.set_ringing_anew(shared.options.rings_anew);
        model.set_panel_call_after_stop_us(shared.options.panel_call_after_stop_ms * 1000);
    }

    // A fraction in [0, 1), drawn once per codec index, so that runs repeat.
    static double phase_of(int codec_index) {
        std::mt19937 draw(static_cast<uint32_t>(codec_index));
        return std::uniform_real_distribution<double>(0.0, 1.0)(draw);
    }

    CodecSimContext& context;  // not owned; outlives every codec
    const int index;
    const std::string server_name;  // "codec-<index>"
    uint16_t port = 0;
    CodecModel model;
    std::vector<CodecEndpoint*> endpoints;     // not owned: their IPC server owns them
    std::vector<int64_t> last_report_us;       // per row of CodecModel::subscriptions(); 0 = never
    int64_t last_texts_us = 0;                 // when the texts last changed (CodecSimOptions); 0 = never
    std::map<std::string, int> refusals_made;  // by request name, of CodecSimOptions::refused_requests
    const double report_phase;                 // of each report period, for CodecSimOptions::has_random_phase
};
