#pragma once

#include <vector>

#include "sessions/guarded_link.h"
#include "sessions/tunnel_bitrate.h"
#include "sessions/tunnel_loss_sink.h"
#include "sessions/tunnel_utilization_sink.h"

class Message;

// The codec figures of one direction of a tunnel session, read from the "sess" node of a
// "tun_stats" report: transmit (local side) from the plain keys, receive (remote side) from the
// same keys with the prefix "r". Delays are in milliseconds, rates in tenths of a percent.
//
// The two graph links are set by the tunnel page while it shows this session; the graphs belong to
// the page, so the links are guarded and read as null once a graph is gone.
struct TunnelCodecStats {
    static constexpr int kDelayPointCount = 5;

    int max_packet_delay = 0;      // "d"
    int max_allowed_delay = 0;     // "dm"
    bool delay_mode_auto = false;  // "dma"
    // "d1" .. "d5"
    std::vector<int> delay_points = std::vector<int>(kDelayPointCount, 0);
    int packet_loss_rate = 0;      // "pl"
    int packet_late_rate = 0;      // "plt"
    int packet_recovery_rate = 0;  // "pr"
    GuardedLink<TunnelUtilizationSink> utilGrapher;
    GuardedLink<TunnelLossSink> lossGrapher;
    TunnelBitrate bitrate;

    // Every delay key is read; a missing one stores 0 (false). True when any stored value changed.
    bool readDelay(const Message& sess);
    bool readRemoteDelay(const Message& sess);
    // Loss, late and recovery rates; a linked loss graph gets them as one sample.
    void readLoss(const Message& sess);
    void readRemoteLoss(const Message& sess);
    void dump() const;
};
