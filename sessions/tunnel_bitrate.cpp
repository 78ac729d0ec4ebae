#include "sessions/tunnel_bitrate.h"

#include "ipc/base/logger.h"
#include "ipc/message/message.h"

namespace {
constexpr int kLogCategory = 0;
constexpr int kDebug = 6;
}  // namespace

void TunnelBitrate::update(const Message& codec) {
    codec.dump(kDebug, kLogCategory);
    if (codec.child_count("enc") == 0) return;
    const Message& enc = codec.get_child("enc", 0);
    nominal_bitrate = enc.attributes().get_int("nbr", 0) / 1000;
    throttled_bitrate = enc.attributes().get_int("tbr", 0) / 1000;
    throttled = throttled_bitrate != 0 && throttled_bitrate < nominal_bitrate;
    dump();
}

void TunnelBitrate::dump() const {
    Logger& log = ipc_logger();
    log.log_cat(kLogCategory, kDebug, "  nominal_bitrate = %d", nominal_bitrate);
    log.log_cat(kLogCategory, kDebug, "throttled_bitrate = %d", throttled_bitrate);
    log.log_cat(kLogCategory, kDebug, "        throttled = %s", throttled ? "true" : "false");
}
