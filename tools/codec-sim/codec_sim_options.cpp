#include "tools/codec-sim/codec_sim_options.h"

#include <algorithm>
#include <iterator>

namespace {

struct ModeName {
    const char* name;
    CodecSimMode mode;
};
const ModeName kModeNames[] = {
    {"normal", CodecSimMode::kNormal},
    {"nologin", CodecSimMode::kNoLogin},
    {"refuse", CodecSimMode::kRefuse},
    {"legacy", CodecSimMode::kLegacy},
};

struct HostileName {
    const char* name;
    HostileKind kind;
};
// In HostileKind order, which is also the order "all" sends them in.
const HostileName kHostileNames[] = {
    {"childless", HostileKind::kChildless},
    {"unknown", HostileKind::kUnknown},
    {"utf8", HostileKind::kUtf8},
    {"flood", HostileKind::kFlood},
    {"nul", HostileKind::kNul},
    {"depth", HostileKind::kDepth},
    {"tag", HostileKind::kTag},
    {"oversize", HostileKind::kOversize},
    {"huge", HostileKind::kHuge},
    {"pings", HostileKind::kSwallowedPings},
};

// The comma-separated parts of `list`, empty ones included.
std::vector<std::string> split_list(const std::string& list) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        parts.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

}  // namespace

std::string CodecSimOptions::check() const {
    if (count < 1 || count > kMaxCount) {
        return "count " + std::to_string(count) + " is outside 1.." + std::to_string(kMaxCount);
    }
    // Only loopback: the simulated codecs accept any user and a well-known password.
    if (host != "127.0.0.1" && host != "::1") {
        return "host \"" + host + "\" is not a loopback address (127.0.0.1 or ::1)";
    }
    if (base_port != 0 && int{base_port} + count - 1 > 65535) {
        return "ports " + std::to_string(base_port) + ".." + std::to_string(int{base_port} + count - 1) +
               " go beyond 65535";
    }
    if (silent_after_ms < 0 || trickle_after_ms < 0 || deaf_after_ms < 0 || close_after_ms < 0 || answer_after_ms < 0 ||
        panel_call_after_stop_ms < 0) {
        return "negative time";
    }
    if (channels < 0 || channels > CodecModel::kMaxChannels) {
        return "channels " + std::to_string(channels) + " is outside 0.." + std::to_string(CodecModel::kMaxChannels);
    }
    if (peers < 0 || static_cast<size_t>(peers) > CodecModel::kMaxPeers) {
        return "peers " + std::to_string(peers) + " is outside 0.." + std::to_string(CodecModel::kMaxPeers);
    }
    if (unknown_report_count < 0 || unknown_report_count > kMaxUnknownReports) {
        return "unknown report count " + std::to_string(unknown_report_count) + " is outside 0.." +
               std::to_string(kMaxUnknownReports);
    }
    if (long_text_length > kMaxLongText) {
        return "long text length " + std::to_string(long_text_length) + " is beyond " + std::to_string(kMaxLongText);
    }
    if (log_burst < 0 || log_burst > kMaxLogBurst) {
        return "log burst " + std::to_string(log_burst) + " is outside 0.." + std::to_string(kMaxLogBurst);
    }
    if (refusals < 0) return "refusals " + std::to_string(refusals) + " is negative";
    if (meter_ms < 1 || meter_ms > kMaxMeterMs) {
        return "metering pace " + std::to_string(meter_ms) + " ms is outside 1.." + std::to_string(kMaxMeterMs);
    }
    return {};
}

bool CodecSimOptions::mode_from_name(const std::string& name, CodecSimMode& mode) {
    for (const ModeName& entry : kModeNames) {
        if (name == entry.name) {
            mode = entry.mode;
            return true;
        }
    }
    return false;
}

bool CodecSimOptions::hostile_from_list(const std::string& list, std::vector<HostileKind>& kinds) {
    std::vector<HostileKind> parsed;
    for (const std::string& name : split_list(list)) {
        if (name == "all") {
            for (const HostileName& entry : kHostileNames) parsed.push_back(entry.kind);
            continue;
        }
        const auto found = std::find_if(std::begin(kHostileNames), std::end(kHostileNames),
                                        [&](const HostileName& entry) { return name == entry.name; });
        if (found == std::end(kHostileNames)) return false;
        parsed.push_back(found->kind);
    }
    std::sort(parsed.begin(), parsed.end());
    parsed.erase(std::unique(parsed.begin(), parsed.end()), parsed.end());
    kinds = parsed;
    return true;
}

bool CodecSimOptions::requests_from_list(const std::string& list, std::set<std::string>& names) {
    const std::vector<std::string> parts = split_list(list);
    if (std::any_of(parts.begin(), parts.end(), [](const std::string& name) { return name.empty(); })) {
        return false;
    }
    names.insert(parts.begin(), parts.end());
    return true;
}
