#include "sessions/tunnel_conn_stats.h"

#include "ipc/message/message.h"

namespace {

struct SideKeys {
    const char* th;
    const char* td;
    const char* tp;
    const char* tf;
    const char* tr;
    const char* d;
    const char* dm;
    const char* dq;
    const char* pl;
};

const SideKeys kLocalKeys = {"th", "td", "tp", "tf", "tr", "d", "dm", "dq", "pl"};
const SideKeys kRemoteKeys = {"rth", "rtd", "rtp", "rtf", "rtr", "rd", "rdm", "rdq", "rpl"};

void parse_side(TunnelConnStats& side, const Message& conn, const SideKeys& keys) {
    const Message::Attributes& a = conn.attributes();
    // The throttle pair only moves when the report carries "td"; without "th" beside it the side
    // is not throttled.
    if (a.has(keys.td)) {
        if (a.has(keys.th)) {
            side.throttled = 1;
            side.th = a.get_int(keys.th, 0) / 1000;
        } else {
            side.throttled = 0;
            side.th = 0;
        }
    }
    side.td = a.get_int(keys.td, 0) / 1000;
    side.tp = a.get_int(keys.tp, 0) / 1000;
    side.tf = a.get_int(keys.tf, 0) / 1000;
    side.tr = a.get_int(keys.tr, 0) / 1000;
    side.d = a.get_int(keys.d, 0);
    side.dm = a.get_int(keys.dm, 0);
    side.dq = a.get_int(keys.dq, 0);
    side.pl = a.get_int(keys.pl, 0);
}

}  // namespace

void TunnelConnStats::parseLocal(const Message& conn) {
    parse_side(*this, conn, kLocalKeys);
}

void TunnelConnStats::parseRemote(const Message& conn) {
    parse_side(*this, conn, kRemoteKeys);
}
