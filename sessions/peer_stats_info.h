#pragma once

#include <QString>

class Message;

// The statistics of one peer connection, from one "peer" child of a "peerStats" report. Delays are
// in tenths of a millisecond, loss and rates in tenths of a percent, as the codec sends them. A
// plain value: the session keeps one per peer id (`peerStatsById`) and views copy it.
struct PeerStatsInfo {
    // Reads the node's attributes; every absent one reads as 0 (false for `newData`).
    static PeerStatsInfo fromMessage(const Message& node);

    QString name;
    int id = 0;                 // the peer id, key of the session's map
    unsigned int callTime = 0;  // seconds the call has lasted
    int bufferDesiredDelay = 0;
    int bufferMaxDelay = 0;
    int bufferMinDelay = 0;
    int bufferMaxDev = 0;
    bool newData = false;

    // Current values.
    int remoteLoss = 0;
    int rtt = 0;
    int pktOutlierRate = 0;
    int corrUpRate = 0;
    int corrDownRate = 0;
    int insertRate = 0;
    int frameLossRate = 0;
    int frameLateRate = 0;
    int packetJitter = 0;
    int bufferDelay = 0;

    // Averages.
    int remoteLossAvg = 0;
    int rttAvg = 0;
    int pktOutlierRateAvg = 0;
    int corrUpRateAvg = 0;
    int corrDownRateAvg = 0;
    int insertRateAvg = 0;
    int frameLossRateAvg = 0;
    int frameLateRateAvg = 0;
    int packetJitterAvg = 0;
    int bufferDelayAvg = 0;

    int delayIn = 0;
    int delayOut = 0;
};
