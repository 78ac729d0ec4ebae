#pragma once

#include <cstdint>

#include "ipc/message/message.h"

// The requests a codec session builds more than once: by its commands, by its start-up set and
// by its answers to the codec. Plain values, sent by the caller.
namespace session_requests {

// The configuration path of the codec's tunnel settings and status.
inline constexpr char kTunnelPath[] = "netmgr.tunnel";

// A request named `name`, without seq: its reply is filed under its first child's name.
Message request(const char* name);
// A request whose reply is filed under `seq`.
Message fetch(const char* name, const char* seq);
Message event_log_request();
// Switches the codec's levels on; a legacy codec reports them every `interval` milliseconds.
Message metering_on_request(uint32_t interval);
// Switches on the statistics and levels a legacy codec reports, the levels every `interval`
// milliseconds.
Message monitor_request(uint32_t interval);
Message peer_settings_request(int id, int profile);
Message metering_off_request();

}  // namespace session_requests
