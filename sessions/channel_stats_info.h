#pragma once

#include <QString>

class Message;

// The statistics of one codec channel, from one "channel" child of a "channelStats" report: rates
// in bit/s, totals as the codec counts them. A plain value: the session keeps one per channel id
// (`channelStatsById`) and views copy it.
struct ChannelStatsInfo {
    // Reads the node's attributes; every absent number reads as 0.
    static ChannelStatsInfo fromMessage(const Message& node);

    QString name;
    int id = 0;
    int rxPayload = 0;
    int rxOverhead = 0;
    int rxRTCP = 0;
    int txPayload = 0;
    int txOverhead = 0;
    int txRTCP = 0;
    int rxAvgPayload = 0;
    int rxAvgOverhead = 0;
    int rxAvgRTCP = 0;
    int txAvgPayload = 0;
    int txAvgOverhead = 0;
    int txAvgRTCP = 0;
    int rxTotal = 0;
    int txTotal = 0;
};
