#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tools/codec-sim/codec_model.h"

// How a simulated codec greets and logs in its peers.
enum class CodecSimMode {
    kNormal,   // versioned greeting; the login challenge is asked even from 127.0.0.1
    kNoLogin,  // versioned greeting answered at once, no login
    kRefuse,   // every login is refused (403), whatever the password
    kLegacy,   // an old codec: ignores "hello", answers "ping" with a bare "pong", bare "login"
};

// Frames a codec sends to test the peer's input checks: once after each login, in this order, but
// for kSwallowedPings. A peer that reads them as it should drops the bad ones alone and stays
// connected.
enum class HostileKind {
    kChildless,  // <unso id="metering"/> and <unso id="peer_stats"/>: reports without their child
    kUnknown,    // unknown_report_count reports, each with an "id" of its own that no program knows
    kUtf8,       // a peer list whose attribute value is not UTF-8
    kFlood,      // 5000 metering reports in one burst, whatever the subscription's interval
    kNul,        // a NUL inside an attribute value, which cuts the frame in two
    kDepth,      // elements nested deeper than Message::kMaxDepth
    kTag,        // a peer list whose end tag does not match its start tag
    kOversize,   // 3 MiB before its NUL, past the 2 MiB a peer holds of one frame
    // 3 MiB without a NUL: the next frame the codec writes (the answer to the peer's first
    // request, as a rule) ends it and is lost with it. Always the last of the hostile frames.
    kHuge,
    // Nothing after the login; from then on every other answer to "ping" goes down inside a frame
    // past the limit (kHuge's bytes written just before it), as a codec's answer may go down inside
    // a bad frame. Asked again, it is answered.
    kSwallowedPings,
};

// Everything a CodecSim is started with. Plain value; read-only once the fleet runs.
struct CodecSimOptions {
    static constexpr int kMaxCount = 1024;
    static constexpr int kMaxUnknownReports = 100000;
    // A frame the program accepts (2 MiB) holds a text this long with the rest of its message.
    static constexpr size_t kMaxLongText = 1600000;
    static constexpr int kMaxLogBurst = 20000;
    // How often the codecs lengthen their texts and log their bursts.
    static constexpr int64_t kTextPeriodMs = 2000;
    // The slowest metering pace a fleet may be given, in milliseconds.
    static constexpr int kMaxMeterMs = 60000;
    static constexpr int64_t kCountsPeriodMs = 100;

    int count = 1;
    uint16_t base_port = 0;           // codec i listens on base_port + i; 0: each on a free port
    std::string host = "127.0.0.1";   // "127.0.0.1" or "::1"; nothing else is accepted
    std::string password = "tarnel";  // the password of a new codec; any user name is accepted
    CodecSimMode mode = CodecSimMode::kNormal;
    std::string record_path;      // every received frame is appended here; empty: no recording
    int64_t silent_after_ms = 0;  // from the start: stop publishing and answering; 0: never
    // From the start: silent as above, but one byte of a frame that never ends goes to every peer
    // each kTricklePeriodMs, as from a codec whose link still carries a few bytes; 0: never.
    int64_t trickle_after_ms = 0;
    static constexpr int64_t kTricklePeriodMs = 6000;
    // From the start: take no notice of anything a peer sends, while publishing goes on, as a codec
    // whose link from the program has died; 0: never.
    int64_t deaf_after_ms = 0;
    int64_t close_after_ms = 0;  // from the start: close every connection once; 0: never
    // A connect's far end answers this long after it (CodecModel::set_answer_after_us); 0: at once.
    int64_t answer_after_ms = 0;
    // Every codec's channels (CodecModel's constructor), 1 to CodecModel::kMaxChannels: a connect
    // beyond that many calls up or ringing is refused. 0: codec i has 1 + i % 2.
    int channels = 0;
    // Every codec's peer list holds this many peers (CodecModel::fill_address_book), up to
    // CodecModel::kMaxPeers; 0: the few it is seeded with.
    int peers = 0;
    // Another connect of a ringing peer starts its ring again (CodecModel::set_ringing_anew).
    bool rings_anew = false;
    // This long after a disconnect stopped a ringing connect, the codec's panel calls that peer
    // (CodecModel::set_panel_call_after_stop_us); 0: never.
    int64_t panel_call_after_stop_ms = 0;
    std::vector<HostileKind> hostile;  // sent once after each login, in HostileKind order
    // The codecs write their texts in Latin-1, as older firmware does, and their names carry
    // accents ("Köln Südwest") to show it: every frame goes out with each character up to U+00FF
    // as one byte of that value.
    bool writes_latin1 = false;
    int unknown_report_count = 2000;  // reports of HostileKind::kUnknown, each with a distinct id
    // Requests (by name, e.g. "connect", "getPeerList") that every codec refuses: the reply carries
    // "fail", error_code 409 and an error text, and the codec changes nothing.
    std::set<std::string> refused_requests;
    // Each codec refuses each of refused_requests this many times, and from then on handles it as
    // usual, as a codec does once its fault has passed. 0: always.
    int refusals = 0;
    // Requests without seq (by name, e.g. "connect") whose success goes unanswered, as a real
    // codec's does: only their refusals are answered. Versioned peers only.
    std::set<std::string> unanswered_successes;
    // The settings replies come malformed, as a broken firmware's may (CodecModel::
    // set_malformed_settings).
    bool malformed_settings = false;
    // "addProfile" is answered with the id of a profile the codec holds (CodecModel::
    // set_reusing_profile_ids).
    bool reuses_profile_ids = false;
    // "addPeer" gives the lowest free id, that of a peer removed before (CodecModel::
    // set_reusing_peer_ids).
    bool reuses_peer_ids = false;
    // Requests (by name) whose answers go out in swapped pairs, as a codec may answer: the answer
    // to the first of each pair is held back until the second has been answered. Versioned peers
    // only.
    std::set<std::string> swapped_answers;
    // Each published report carries "sent_us", the sender's ipc_now_us() as decimal text: the
    // monotonic clock is shared by every process on the machine, so a receiver can measure delays.
    bool stamps_reports = false;
    // Each codec's reports lag by a phase of their period drawn for that codec, as a real fleet's
    // do; without it every codec reports in the same tick (CodecSimManager::kTickMs).
    bool has_random_phase = false;
    int64_t calendar_origin_s = CodecModel::kDefaultCalendarOrigin;
    // Every kTextPeriodMs each codec takes texts this long (CodecModel::lengthen_texts); 0: never.
    size_t long_text_length = 0;
    // Every kTextPeriodMs each codec logs this many events (CodecModel::log_burst).
    int log_burst = 0;
    // The fastest a codec measures its levels, in milliseconds: a peer that asks for a shorter
    // interval (or none) gets them at this pace, one that asks for a longer one at its own.
    int meter_ms = 67;
    // Every kCountsPeriodMs the fleet rewrites this file whole with one line "<us> <reports>
    // <levels>": the monotonic time (ipc_now_us, shared by every process on the machine) and the
    // reports its codecs have published so far, all and those of the levels. A benchmark reads
    // from it how many reports the program received. Empty: no file.
    std::string counts_path;

    // Empty when the options can be started, else why not.
    std::string check() const;

    // "normal", "nologin", "refuse", "legacy"; false for any other text.
    static bool mode_from_name(const std::string& name, CodecSimMode& mode);
    // A comma-separated list of "childless", "unknown", "utf8", "flood", "nul", "depth", "tag",
    // "oversize", "huge", "pings", or "all"; false (leaving `kinds` as it was) when a name is unknown.
    static bool hostile_from_list(const std::string& list, std::vector<HostileKind>& kinds);
    // Adds the request names of a comma-separated list to `names`; false (leaving `names` as it
    // was) when a name is empty.
    static bool requests_from_list(const std::string& list, std::set<std::string>& names);
};
