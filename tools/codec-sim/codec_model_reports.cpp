// CodecModel's reports: the subscriptions the program makes and the reports codec-sim publishes
// under them (levels, peer and channel statistics, the tunnel's statistics, connections and
// status), each a function of the codec's state, its seed and the time asked for.
#include "tools/codec-sim/codec_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "tools/codec-sim/sim_numbers.h"

using codec_sim::clamp_int;
using codec_sim::floor_div;
using codec_sim::mix;
using codec_sim::parse_int;

namespace {

constexpr double kPi = 3.14159265358979323846;
// The meter scale of the program: 0 dBFS is full, -72 dBFS and below is empty.
constexpr float kSilenceDb = -72.0f;
constexpr int kMeterTickUs = 67000;

}  // namespace

const std::vector<CodecModel::Subscription>& CodecModel::subscriptions() {
    static const std::vector<Subscription> kTable = {
        {"peer_stats", 0, 1000, true},
        {"channel_stats", 0, 1000, true},
        {"tun_conns", 0, 5000, true},
        {"tun_stats", 0, 1000, true},
        {"power", 0, 0, true},
        {"version", 0, 0, true},     // only when the firmware changes, which it never does here
        {"metering", 67, 67, true},  // at the pace the peers ask for (CodecSimOptions::meter_ms)
        {"cfgStatus:netmgr.tunnel", 0, 5000, true},
        // The program files these reports only under the "id" "netmgr.tunnel"; published under the
        // subscription's own name they would reach no handler.
        {"cfgData:netmgr.tunnel.*", 0, 10000, false},
    };
    return kTable;
}

double CodecModel::noise(uint64_t a, uint64_t b) const {
    return static_cast<double>(mix(seed_ ^ mix(a) ^ mix(b ^ 0x5851F42D4C957F2DULL)) >> 11) / 9007199254740992.0;
}

bool CodecModel::report(const std::string& subscription, int64_t now_us, Message& out) const {
    out = Message();
    if (subscription == "metering") {
        if (!is_metering_on_) return false;
        out.set_name("metering");
        fill_metering(out, now_us);
    } else if (subscription == "peer_stats") {
        out.set_name("peerStats");
        fill_peer_stats(out, now_us);
    } else if (subscription == "channel_stats") {
        out.set_name("channelStats");
        fill_channel_stats(out, now_us);
    } else if (subscription == "tun_stats") {
        out.set_name("stats");
        fill_tun_stats(out, now_us);
    } else if (subscription == "tun_conns") {
        out.set_name("conns");
        fill_tun_conns(out);
    } else if (subscription == "version") {
        out.set_name("version");
        fill_version(out);
    } else if (subscription == "cfgStatus:netmgr.tunnel") {
        out.set_name("node");
        fill_tunnel_node(out);
    } else if (subscription == "cfgData:netmgr.tunnel.*") {
        out.set_name("unso");
        out.attributes().set("id", "netmgr.tunnel");
        fill_tunnel_node(out.add_child("node"));
    } else {
        return false;
    }
    return true;
}

void CodecModel::fill_metering(Message& node, int64_t now_us) const {
    bool has_far_end = false;
    for (const Peer& peer : peers_) has_far_end = has_far_end || peer.channel != 0;
    const double t = static_cast<double>(now_us) / 1e6;
    const uint64_t tick = static_cast<uint64_t>(floor_div(now_us, kMeterTickUs));
    // Receive levels exist only while a far end sends; the local input is always live.
    struct Meter {
        const char *first, *second;
        bool is_live;
        double base_db;
    };
    const Meter meters[] = {
        {"rmlf", "rmls", has_far_end, -22},
        {"rmrf", "rmrs", has_far_end, -23},
        {"tmlf", "tmls", true, -18},
        {"tmrf", "tmrs", true, -19},
    };
    uint64_t key = 1;
    for (const Meter& meter : meters) {
        float first = kSilenceDb;
        float second = kSilenceDb;
        if (meter.is_live) {
            const double phase = noise(key, 0) * 2 * kPi;
            const double slow = 7 * std::sin(2 * kPi * t / (2.3 + 3 * noise(key, 1)) + phase);
            const double fast = 3 * std::sin(2 * kPi * t / 0.45 + 1.7 * phase);
            const double grain = 4 * (noise(key, tick) - 0.5);
            const double level = std::clamp(meter.base_db + slow + fast + grain, -71.0, -1.0);
            const double peak = std::min(level + 2 + 4 * noise(key + 100, tick), 0.0);
            first = static_cast<float>(level);
            second = static_cast<float>(peak);
        }
        node.attributes().set(meter.first, first);
        node.attributes().set(meter.second, second);
        ++key;
    }
}

void CodecModel::fill_peer_stats(Message& node, int64_t now_us) const {
    const uint64_t second = static_cast<uint64_t>(floor_div(now_us, 1000000));
    const uint64_t ten_seconds = static_cast<uint64_t>(floor_div(now_us, 10000000));
    const double t = static_cast<double>(now_us) / 1e6;
    for (const Peer& peer : peers_) {
        if (peer.channel == 0) continue;
        const uint64_t key = 1000 + static_cast<uint64_t>(peer.id);
        int min_delay = 60;
        if (const Message* profile = profile_for(peer)) {
            min_delay = profile->get_child("local", 0).attributes().get_int("min_delay", 60);
        }
        // Delays in tenths of a millisecond; loss and rates in tenths of a percent.
        const int desired = min_delay * 10 + 200;
        const auto figures = [&](uint64_t tick, uint64_t salt, const char* suffix, MessageAttributes& a) {
            const auto n = [&](uint64_t which) { return noise(key * 31 + which + salt, tick); };
            const std::string s = suffix;
            const double wave = std::sin(2 * kPi * t / 17.0 + noise(key, 2) * 6);
            a.set("remoteLoss" + s, clamp_int(20 * n(1) * n(1) * n(1), 0, 1000));
            a.set("pktOutlierRate" + s, clamp_int(5 * n(2), 0, 1000));
            a.set("corrUpRate" + s, clamp_int(10 * n(3) * n(3), 0, 1000));
            a.set("corrDownRate" + s, clamp_int(10 * n(4) * n(4), 0, 1000));
            a.set("insertRate" + s, clamp_int(3 * n(5), 0, 1000));
            a.set("frameLossRate" + s, clamp_int(15 * n(6) * n(6) * n(6), 0, 1000));
            a.set("frameLateRate" + s, clamp_int(5 * n(7) * n(7), 0, 1000));
            a.set("packetJitter" + s, clamp_int(30 + 50 * n(8), 0, 100000));
            a.set("bufferDelay" + s, clamp_int(desired + 150 * wave + 60 * (n(9) - 0.5), 0, 100000));
            a.set("rtt" + s, clamp_int(300 + 200 * noise(key, 3) + 40 * n(10), 0, 100000));
        };
        MessageAttributes& a = node.add_child("peer").attributes();
        a.set("id", peer.id);
        a.set("name", peer.name);
        a.set("callTime", static_cast<unsigned>(std::max<int64_t>(0, (now_us - peer.connected_us) / 1000000)));
        a.set("bufferDesiredDelay", desired);
        a.set("bufferMaxDelay", desired * 2);
        a.set("bufferMinDelay", desired / 2);
        a.set("bufferMaxDev", clamp_int(40 + 30 * noise(key, second), 0, 100000));
        a.set("newData", true);
        figures(second, 0, "", a);
        figures(ten_seconds, 7, "Avg", a);
        // Network and coding delay on top of the buffer, in tenths of a millisecond.
        const CodecType* codec = find_codec(profile_encoder(peer));
        a.set("delayIn", a.get_int("bufferDelay", 0) + 150);
        a.set("delayOut", 150 + 10 * (codec ? codec->delay_ms : 0));
    }
}

void CodecModel::fill_channel_stats(Message& node, int64_t now_us) const {
    const uint64_t second = static_cast<uint64_t>(floor_div(now_us, 1000000));
    for (const Channel& channel : channels_) {
        MessageAttributes& a = node.add_child("channel").attributes();
        a.set("id", channel.id);
        a.set("name", channel.descr);
        const Peer* peer = find_peer(channel.peer_id);
        int bitrate = 0;
        if (peer) {
            const CodecType* codec = find_codec(profile_encoder(*peer));
            bitrate = codec ? codec->bitrate : 128000;
        }
        const int64_t seconds = peer ? std::max<int64_t>(0, (now_us - peer->connected_us) / 1000000) : 0;
        // Bit/s; totals in kilobytes since the connection came up.
        uint64_t key = 2000 + static_cast<uint64_t>(channel.id);
        for (const char* side : {"rx", "tx"}) {
            const std::string s = side;
            const double n = noise(key++, second);
            const int payload = peer ? clamp_int(bitrate * (0.97 + 0.06 * n), 0, INT32_MAX) : 0;
            const int overhead = peer ? clamp_int(bitrate * 0.12 + 3000 * n, 0, INT32_MAX) : 0;
            const int rtcp = peer ? clamp_int(900 + 300 * n, 0, INT32_MAX) : 0;
            a.set(s + "Payload", payload);
            a.set(s + "Overhead", overhead);
            a.set(s + "RTCP", rtcp);
            a.set(s + "AvgPayload", peer ? bitrate : 0);
            a.set(s + "AvgOverhead", peer ? clamp_int(bitrate * 0.12 + 1500, 0, INT32_MAX) : 0);
            a.set(s + "AvgRTCP", peer ? 1050 : 0);
            const double total_kb = static_cast<double>(seconds) * (bitrate * 1.12 + 1050) / 8000.0;
            a.set(s + "Total", clamp_int(total_kb, 0, INT32_MAX));
        }
    }
}

int CodecModel::tunnel_delay_point(int which) const {
    // Milliseconds; the last point is the scale maximum of the delay slider.
    const int scale = 800 + 200 * (index_ % 3);
    static const int kPercent[] = {5, 10, 20, 40, 100};
    return scale * kPercent[which] / 100;
}

int CodecModel::tunnel_packet_delay(int64_t now_us) const {
    const double t = static_cast<double>(now_us) / 1e6;
    const uint64_t second = static_cast<uint64_t>(floor_div(now_us, 1000000));
    return clamp_int(70 + 30 * std::sin(2 * kPi * t / 23.0) + 20 * noise(3000, second), 10, tunnel_delay_point(4));
}

int CodecModel::tunnel_max_delay(const TunnelDirection& direction, int64_t now_us) const {
    if (!direction.is_auto) return direction.max_delay_ms;
    return std::clamp(2 * tunnel_packet_delay(now_us) + 50, 10, tunnel_delay_point(4));
}

void CodecModel::fill_tun_stats(Message& node, int64_t now_us) const {
    // No session: a "stats" without "sess" tells the program that the tunnel is gone.
    if (!is_tunnel_up()) return;
    const uint64_t second = static_cast<uint64_t>(floor_div(now_us, 1000000));
    const uint64_t minute = static_cast<uint64_t>(floor_div(now_us, 60000000));
    int nominal = 128000;
    for (const Peer& peer : peers_) {
        if (peer.channel == 0) continue;
        if (const CodecType* codec = find_codec(profile_encoder(peer))) nominal = codec->bitrate;
        break;
    }
    // Now and then the links cannot carry the nominal rate for a minute and the encoder is throttled.
    const bool is_throttled = noise(3100, minute) < 0.2;
    const auto add_rates = [&](Message& parent, bool throttled) {
        MessageAttributes& enc = parent.add_child("codec").add_child("enc").attributes();
        enc.set("nbr", nominal);
        enc.set("tbr", throttled ? nominal * 3 / 4 : 0);
    };
    add_rates(node, is_throttled);
    Message& sess = node.add_child("sess");
    MessageAttributes& a = sess.attributes();
    a.set("sid", tunnel_sid_);
    a.set("addr", tunnel_addr_);
    const int packet_delay = tunnel_packet_delay(now_us);
    for (const char* prefix : {"", "r"}) {
        const std::string p = prefix;
        const TunnelDirection& direction = p.empty() ? tunnel_tx_ : tunnel_rx_;
        a.set(p + "d", p.empty() ? packet_delay : clamp_int(packet_delay * 1.1, 10, tunnel_delay_point(4)));
        a.set(p + "dm", tunnel_max_delay(direction, now_us));
        a.set(p + "dma", direction.is_auto);
        for (int i = 0; i < 5; ++i) a.set(p + "d" + std::to_string(i + 1), tunnel_delay_point(i));
        const uint64_t salt = p.empty() ? 3200 : 3300;
        a.set(p + "pl", clamp_int(30 * std::pow(noise(salt, second), 3), 0, 1000));
        a.set(p + "plt", clamp_int(20 * std::pow(noise(salt + 1, second), 3), 0, 1000));
        a.set(p + "pr", clamp_int(25 * noise(salt + 2, second), 0, 1000));
    }
    add_rates(sess, false);

    int links = 0;
    parse_int(braidlink_value("max_links"), links);
    links = std::min(links, static_cast<int>(tunnel_links_.size()));
    for (int i = 0; i < links; ++i) {
        const TunnelLink& link = tunnel_links_[static_cast<size_t>(i)];
        MessageAttributes& c = sess.add_child("conn").attributes();
        c.set("li", link.li);
        c.set("ri", link.ri);
        const int share = nominal / links;
        // The cellular links are the ones that get throttled.
        const bool is_link_throttled = is_throttled && link.ldesc.compare(0, 4, "wwan") == 0;
        for (const char* prefix : {"", "r"}) {
            const std::string p = prefix;
            const uint64_t key = 3400 + static_cast<uint64_t>(i) * 16 + (p.empty() ? 0 : 8);
            const auto n = [&](uint64_t which) { return noise(key + which, second); };
            if (is_link_throttled) c.set(p + "th", share / 2);
            c.set(p + "td", share);
            c.set(p + "tp", clamp_int(share * (is_link_throttled ? 0.5 : 0.8 + 0.4 * n(0)), 0, INT32_MAX));
            c.set(p + "tf", clamp_int(share * 0.1 * n(1), 0, INT32_MAX));
            c.set(p + "tr", clamp_int(share * 0.05 * n(2), 0, INT32_MAX));
            c.set(p + "d", clamp_int(link.base_delay_ms * (0.8 + 0.5 * n(3)), 1, 100000));
            c.set(p + "dm", tunnel_max_delay(p.empty() ? tunnel_tx_ : tunnel_rx_, now_us));
            c.set(p + "dq", clamp_int(20 * n(4), 0, 100000));
            c.set(p + "pl", clamp_int(40 * std::pow(n(5), 4), 0, 1000));
        }
    }
}

void CodecModel::fill_tun_conns(Message& node) const {
    if (!is_tunnel_up()) return;
    fill_tunnel_sess(node.add_child("sess"));
}
