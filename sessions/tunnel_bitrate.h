#pragma once

class Message;

// The encoder bit rates of one direction of a tunnel, in kbit/s, from the "enc" element of a
// "codec" node of a "tun_stats" report.
struct TunnelBitrate {
    int nominal_bitrate = 0;    // "nbr" / 1000
    int throttled_bitrate = 0;  // "tbr" / 1000; 0 when the codec does not throttle
    bool throttled = false;     // the codec sends below its nominal rate

    // Reads the first "enc" child of a "codec" node; a node without "enc" changes nothing.
    void update(const Message& codec);
    void dump() const;
};
