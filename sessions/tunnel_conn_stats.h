#pragma once

class Message;

// One side of a tunnel connection as the "conn" node of a "tun_stats" report gives it: the local
// side from the plain keys, the remote side from the same keys with the prefix "r". Throughput
// figures are in kbit/s (the codec's bit/s divided by 1000), the rest as received.
struct TunnelConnStats {
    int throttled = 0;  // 1 while the side is throttled ("th" reported next to "td"), else 0
    int th = 0;         // throttled rate
    int td = 0;
    int tp = 0;  // throughput; feeds the utilization graph
    int tf = 0;
    int tr = 0;
    int d = 0;
    int dm = 0;
    int dq = 0;
    int pl = 0;

    void parseLocal(const Message& conn);
    void parseRemote(const Message& conn);
};
