#include "sessions/peer_stats_info.h"

#include "ipc/message/message.h"

PeerStatsInfo PeerStatsInfo::fromMessage(const Message& node) {
    const Message::Attributes& a = node.attributes();
    PeerStatsInfo r;
    r.name = a.get_qstring("name", QString());
    r.id = a.get_int("id", 0);
    r.callTime = a.get_uint("callTime", 0);
    r.bufferDesiredDelay = a.get_int("bufferDesiredDelay", 0);
    r.bufferMaxDelay = a.get_int("bufferMaxDelay", 0);
    r.bufferMinDelay = a.get_int("bufferMinDelay", 0);
    r.bufferMaxDev = a.get_int("bufferMaxDev", 0);
    r.newData = a.get_bool("newData", false);
    r.remoteLoss = a.get_int("remoteLoss", 0);
    r.rtt = a.get_int("rtt", 0);
    r.pktOutlierRate = a.get_int("pktOutlierRate", 0);
    r.corrUpRate = a.get_int("corrUpRate", 0);
    r.corrDownRate = a.get_int("corrDownRate", 0);
    r.insertRate = a.get_int("insertRate", 0);
    r.frameLossRate = a.get_int("frameLossRate", 0);
    r.frameLateRate = a.get_int("frameLateRate", 0);
    r.packetJitter = a.get_int("packetJitter", 0);
    r.bufferDelay = a.get_int("bufferDelay", 0);
    r.remoteLossAvg = a.get_int("remoteLossAvg", 0);
    r.rttAvg = a.get_int("rttAvg", 0);
    r.pktOutlierRateAvg = a.get_int("pktOutlierRateAvg", 0);
    r.corrUpRateAvg = a.get_int("corrUpRateAvg", 0);
    r.corrDownRateAvg = a.get_int("corrDownRateAvg", 0);
    r.insertRateAvg = a.get_int("insertRateAvg", 0);
    r.frameLossRateAvg = a.get_int("frameLossRateAvg", 0);
    r.frameLateRateAvg = a.get_int("frameLateRateAvg", 0);
    r.packetJitterAvg = a.get_int("packetJitterAvg", 0);
    r.bufferDelayAvg = a.get_int("bufferDelayAvg", 0);
    r.delayIn = a.get_int("delayIn", 0);
    r.delayOut = a.get_int("delayOut", 0);
    return r;
}
