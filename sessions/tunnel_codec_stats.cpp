#include "sessions/tunnel_codec_stats.h"

#include "ipc/base/logger.h"
#include "ipc/message/message.h"
#include "sessions/update_if_changed.h"

namespace {

constexpr int kLogCategory = 0;
constexpr int kDebug = 6;

// The key names of one direction.
struct DirectionKeys {
    const char* delay;
    const char* allowed_delay;
    const char* delay_mode_auto;
    const char* points[TunnelCodecStats::kDelayPointCount];
    const char* loss;
    const char* late;
    const char* recovery;
};

const DirectionKeys kLocalKeys = {"d", "dm", "dma", {"d1", "d2", "d3", "d4", "d5"}, "pl", "plt", "pr"};
const DirectionKeys kRemoteKeys = {"rd", "rdm", "rdma", {"rd1", "rd2", "rd3", "rd4", "rd5"}, "rpl", "rplt", "rpr"};

bool read_delay(TunnelCodecStats& stats, const Message& sess, const DirectionKeys& keys) {
    const Message::Attributes& a = sess.attributes();
    bool changed = updateIfChanged(stats.max_packet_delay, a.get_int(keys.delay, 0));
    changed |= updateIfChanged(stats.max_allowed_delay, a.get_int(keys.allowed_delay, 0));
    changed |= updateIfChanged(stats.delay_mode_auto, a.get_bool(keys.delay_mode_auto, false));
    stats.delay_points.resize(TunnelCodecStats::kDelayPointCount, 0);
    for (int i = 0; i < TunnelCodecStats::kDelayPointCount; ++i)
        changed |= updateIfChanged(stats.delay_points[static_cast<size_t>(i)], a.get_int(keys.points[i], 0));
    return changed;
}

void read_loss(TunnelCodecStats& stats, const Message& sess, const DirectionKeys& keys) {
    const Message::Attributes& a = sess.attributes();
    stats.packet_loss_rate = a.get_int(keys.loss, 0);
    stats.packet_late_rate = a.get_int(keys.late, 0);
    stats.packet_recovery_rate = a.get_int(keys.recovery, 0);
    if (TunnelLossSink* graph = stats.lossGrapher.get()) {
        graph->addSample(0, stats.packet_loss_rate, stats.packet_late_rate, stats.packet_recovery_rate);
        graph->scheduleRepaint();
    }
}

}  // namespace

bool TunnelCodecStats::readDelay(const Message& sess) {
    return read_delay(*this, sess, kLocalKeys);
}

bool TunnelCodecStats::readRemoteDelay(const Message& sess) {
    return read_delay(*this, sess, kRemoteKeys);
}

void TunnelCodecStats::readLoss(const Message& sess) {
    read_loss(*this, sess, kLocalKeys);
}

void TunnelCodecStats::readRemoteLoss(const Message& sess) {
    read_loss(*this, sess, kRemoteKeys);
}

void TunnelCodecStats::dump() const {
    Logger& log = ipc_logger();
    log.log_cat(kLogCategory, kDebug, "    max_packet_delay = %d", max_packet_delay);
    log.log_cat(kLogCategory, kDebug, "   max_allowed_delay = %d", max_allowed_delay);
    log.log_cat(kLogCategory, kDebug, "     delay_mode_auto = %s", delay_mode_auto ? "true" : "false");
    const auto point = [this](size_t i) { return i < delay_points.size() ? delay_points[i] : 0; };
    log.log_cat(kLogCategory, kDebug, "  delay_points[0..4] = %d %d %d %d %d", point(0), point(1), point(2), point(3),
                point(4));
    log.log_cat(kLogCategory, kDebug, "    packet_loss_rate = %d", packet_loss_rate);
    log.log_cat(kLogCategory, kDebug, "    packet_late_rate = %d", packet_late_rate);
    log.log_cat(kLogCategory, kDebug, "packet_recovery_rate = %d", packet_recovery_rate);
}
