#include "sessions/channel_stats_info.h"

#include "ipc/message/message.h"

ChannelStatsInfo ChannelStatsInfo::fromMessage(const Message& node) {
    const Message::Attributes& a = node.attributes();
    ChannelStatsInfo r;
    r.name = a.get_qstring("name", QString());
    r.id = a.get_int("id", 0);
    r.rxPayload = a.get_int("rxPayload", 0);
    r.rxOverhead = a.get_int("rxOverhead", 0);
    r.rxRTCP = a.get_int("rxRTCP", 0);
    r.txPayload = a.get_int("txPayload", 0);
    r.txOverhead = a.get_int("txOverhead", 0);
    r.txRTCP = a.get_int("txRTCP", 0);
    r.rxAvgPayload = a.get_int("rxAvgPayload", 0);
    r.rxAvgOverhead = a.get_int("rxAvgOverhead", 0);
    r.rxAvgRTCP = a.get_int("rxAvgRTCP", 0);
    r.txAvgPayload = a.get_int("txAvgPayload", 0);
    r.txAvgOverhead = a.get_int("txAvgOverhead", 0);
    r.txAvgRTCP = a.get_int("txAvgRTCP", 0);
    r.rxTotal = a.get_int("rxTotal", 0);
    r.txTotal = a.get_int("txTotal", 0);
    return r;
}
