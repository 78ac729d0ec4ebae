#include "tools/codec-sim/codec_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iterator>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// The meter scale of the program: 0 dBFS is full, -72 dBFS and below is empty.
constexpr float kSilenceDb = -72.0f;
constexpr int kMeterTickUs = 67000;

// Error codes of refused requests, after their HTTP namesakes.
constexpr int kBadRequest = 400;
constexpr int kNotFound = 404;
constexpr int kConflict = 409;

uint64_t mix(uint64_t x) {
    // splitmix64's finaliser: every input bit reaches every output bit.
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

int64_t floor_div(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

void fail(Message& reply, int code, const std::string& text) {
    MessageAttributes& a = reply.attributes();
    a.set("fail", true);
    a.set("error_code", code);
    a.set("error_text", text);
}

const Message* first_child(const Message& node, const std::string& name) {
    return node.child_count(name) ? &node.get_child(name, 0) : nullptr;
}

// A whole decimal int, nothing before or after it.
bool parse_int(const std::string& text, int& out) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, out);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

std::string pad2(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// "Mon, 7 Dec 2020 04:41:00 +0000": the program cuts the weekday and the zone away and reads the
// rest as "d MMM yyyy hh:mm:ss", so the day has no leading zero and the names are English.
std::string format_stamp(int64_t unix_s) {
    static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int64_t days = floor_div(unix_s, 86400);
    const int64_t seconds = unix_s - days * 86400;
    // Civil date from days since 1970-01-01 (H. Hinnant's days_from_civil, inverted).
    const int64_t z = days + 719468;
    const int64_t era = floor_div(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    const int64_t weekday = ((days % 7) + 7 + 4) % 7;  // 1970-01-01 was a Thursday
    return std::string(kWeekdays[weekday]) + ", " + std::to_string(day) + " " + kMonths[month - 1] + " " +
           std::to_string(year) + " " + pad2(static_cast<int>(seconds / 3600)) + ":" +
           pad2(static_cast<int>(seconds / 60 % 60)) + ":" + pad2(static_cast<int>(seconds % 60)) + " +0000";
}

// Element text as one line that any XML reader takes back unchanged: control bytes (line breaks
// too, which readers would normalise) become blanks, ill-formed UTF-8 becomes U+FFFD.
std::string clean_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
            ++i;
            continue;
        }
        bool is_xml_char = false;
        const size_t length = ipc_utf8_sequence_length(text, i, is_xml_char);
        if (length == 0 || !is_xml_char) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

void append_element(std::string& out, const Message& node, int depth) {
    if (depth > Message::kMaxDepth) {
        throw Exception("%s: Nesting deeper than %d levels", "frame_with_text", Message::kMaxDepth);
    }
    // The library writes the tag, so names and attribute values obey the same rules as
    // everywhere else on the wire.
    Message tag;
    tag.set_name(node.name());
    tag.attributes() = node.attributes();
    std::string text;
    tag.serialize(Message::XML, text, false);
    ipc_strip_xml_declaration(text);
    const std::string value = node.value().is_set() ? node.value().to_string() : std::string();
    if (value.empty() && node.size() == 0) {
        out += text;
        return;
    }
    text.resize(text.size() - 2);  // "/>"
    out += text;
    out += '>';
    out += ipc_escape(clean_text(value));
    for (int row = 0; row < node.size(); ++row) append_element(out, node.get_child(row), depth + 1);
    out += "</";
    out += node.name();
    out += '>';
}

// One option descriptor. Choices are "Text=value" pairs separated by ";".
struct OptionSpec {
    const char* name;
    const char* display_name;
    const char* descr;
    const char* type;
    const char* units;
    bool is_advanced;
    const char* default_value;
    int min, max;  // "int" only
    const char* choices;
};

// Appends an "option" descriptor; `default_key` is "default" for system and channel options,
// "default_value" for braidlink ones.
Message& add_option(Message& list, const OptionSpec& spec, const char* default_key) {
    Message& option = list.add_child("option");
    MessageAttributes& a = option.attributes();
    a.set("name", spec.name);
    a.set("display_name", spec.display_name);
    a.set("descr", spec.descr);
    a.set("type", spec.type);
    a.set("units", spec.units);
    a.set("advanced", spec.is_advanced);
    a.set(default_key, spec.default_value);
    if (std::string(spec.type) == "int") {
        a.set("min", spec.min);
        a.set("max", spec.max);
    }
    if (std::string(spec.type) == "bool") {
        a.set("label_true", "On");
        a.set("label_false", "Off");
    }
    if (spec.choices) {
        for (const std::string& pair : ipc_split(spec.choices, ";")) {
            const size_t equals = pair.find('=');
            Message& select = option.add_child("select");
            select.attributes().set("name", pair.substr(0, equals));
            select.attributes().set("value", pair.substr(equals + 1));
        }
    }
    return option;
}

struct SystemOptionSpec {
    OptionSpec option;
    const char* group;
    const char* group_name;
    const char* subgroup;
};

const SystemOptionSpec kSystemOptions[] = {
    {{"unit_name", "Unit Name", "Name of this unit, shown wherever the unit is listed.", "string", "", false,
      "Codec", 0, 0, nullptr},
     "system",
     "System",
     ""},
    {{"contact", "Contact", "Who looks after this unit.", "string", "", false, "", 0, 0, nullptr},
     "system",
     "System",
     ""},
    {{"time_zone", "Time Zone", "Time zone of the unit's clock.", "select", "", false, "UTC", 0, 0,
      "UTC=UTC;London=Europe/London;Berlin=Europe/Berlin;New York=America/New_York"},
     "system",
     "System",
     ""},
    {{"default_peer", "Auto-Connect Peer", "Peer connected by itself after start-up.", "peer", "", false, "0",
      0, 0, nullptr},
     "system",
     "System",
     ""},
    {{"default_codec", "Default Encoder", "Encoder used where a profile names none.", "codec", "", false, "1",
      0, 0, nullptr},
     "system",
     "System",
     ""},
    {{"auto_reconnect", "Auto Reconnect", "Reconnect a dropped connection by itself.", "bool", "", false,
      "true", 0, 0, nullptr},
     "system",
     "System",
     ""},
    {{"reconnect_delay", "Reconnect Delay", "Wait before a dropped connection is made again.", "int", "s",
      true, "10", 1, 300, nullptr},
     "system",
     "System",
     ""},
    {{"dhcp", "DHCP", "Take the address from a DHCP server.", "bool", "", false, "true", 0, 0, nullptr},
     "network",
     "Network",
     "network"},
    {{"ip_addr", "IP Address", "Static address, used while DHCP is off.", "string", "", false, "", 0, 0,
      nullptr},
     "network",
     "Network",
     "network"},
    {{"netmask", "Netmask", "Static netmask, used while DHCP is off.", "string", "", false, "255.255.255.0",
      0, 0, nullptr},
     "network",
     "Network",
     "network"},
    {{"gateway", "Gateway", "Static gateway, used while DHCP is off.", "string", "", false, "", 0, 0,
      nullptr},
     "network",
     "Network",
     "network"},
    {{"input_gain", "Input Gain", "Gain of the analogue inputs.", "int", "dB", false, "0", -20, 20, nullptr},
     "audio",
     "Audio",
     "audio"},
    {{"output_level", "Output Level", "Nominal level of the analogue outputs.", "select", "", false, "4", 0,
      0, "+4 dBu=4;-10 dBV=-10"},
     "audio",
     "Audio",
     "audio"},
    {{"headphone_mix", "Headphone Mix", "Share of the return feed in the headphones.", "int", "%", true, "50",
      0, 100, nullptr},
     "audio",
     "Audio",
     "audio"},
    {{"enabled", "Enabled", "Register with the directory server.", "bool", "", false, "true", 0, 0, nullptr},
     "directoryServer",
     "Directory Server",
     ""},
    {{"server", "Server", "Host name of the directory server.", "string", "", false, "dir.example.net", 0, 0,
      nullptr},
     "directoryServer",
     "Directory Server",
     ""},
    {{"port", "Port", "Port of the directory server.", "int", "", true, "6055", 1, 65535, nullptr},
     "directoryServer",
     "Directory Server",
     ""},
    {{"account", "Account", "Account name at the directory server.", "string", "", false, "", 0, 0, nullptr},
     "directoryServer",
     "Directory Server",
     ""},
};

// Per channel; the settings page shows these (channel_opt).
const OptionSpec kChannelOptions[] = {
    {"port", "UDP Port", "Local UDP port of the audio stream.", "int", "", false, "9000", 1024, 65535,
     nullptr},
    {"dscp", "DSCP", "Traffic class of the audio packets.", "select", "", false, "46", 0, 0,
     "Best Effort=0;AF41=34;EF=46"},
    {"ttl", "TTL", "Time to live of the audio packets.", "int", "", true, "64", 1, 255, nullptr},
};

// Per channel; the profile editor shows these (profile_opt), once for each side.
const OptionSpec kProfileOptions[] = {
    {"encoder", "Encoder", "Audio coding sent in this direction.", "codec", "", false, "1", 0, 0, nullptr},
    {"frames", "Frames per Packet", "Audio frames carried by each packet.", "int", "frames", false, "2", 1, 8,
     nullptr},
    {"fec", "Forward Error Correction", "Send redundant packets that repair losses.", "bool", "", false,
     "false", 0, 0, nullptr},
    {"delay_mode", "Delay Mode", "How the receive buffer sizes itself.", "select", "", false, "auto", 0, 0,
     "Automatic=auto;Fixed=fixed"},
    {"min_delay", "Minimum Delay", "Smallest receive buffer.", "int", "ms", true, "60", 10, 2000, nullptr},
};

const OptionSpec kBraidlinkOptions[] = {
    {"enabled", "Tunnel", "Carry the audio through the bonded tunnel.", "bool", "", false, "true", 0, 0,
     nullptr},
    {"server", "Tunnel Server", "Host name of the tunnel server.", "string", "", false, "tunnel.example.net",
     0, 0, nullptr},
    {"port", "Tunnel Port", "UDP port of the tunnel server.", "int", "", true, "9100", 1, 65535, nullptr},
    {"mode", "Mode", "How the links share the traffic.", "select", "", false, "bond", 0, 0,
     "Bonded=bond;Redundant=redundant;Failover=failover"},
    {"encrypt", "Encryption", "Encrypt the tunnel traffic.", "bool", "", false, "true", 0, 0, nullptr},
    {"max_links", "Links", "Most network links used at once.", "int", "", true, "3", 1, 4, nullptr},
};

struct CodecSpec {
    const char *id, *code, *mode, *name, *descr;
    int quality, delay_ms, bitrate;
};
const CodecSpec kCodecs[] = {
    {"1", "OPUS", "Stereo", "128 kb/s", "Opus at 128 kb/s: music and speech, low delay.", 95, 26, 128000},
    {"2", "OPUS", "Mono", "64 kb/s", "Opus at 64 kb/s: speech and music in mono.", 90, 26, 64000},
    {"3", "AAC-LD", "Stereo", "128 kb/s", "AAC low delay: broadcast music quality.", 93, 40, 128000},
    {"4", "G.722", "Mono", "64 kb/s", "G.722: 7 kHz speech, the commentary classic.", 70, 6, 64000},
    {"5", "PCM", "Stereo", "1536 kb/s", "Linear PCM, 16 bit at 48 kHz: no coding at all.", 100, 2, 1536000},
    {"6", "MPEG-2 L2", "Stereo", "256 kb/s", "MPEG Layer 2: robust distribution quality.", 88, 90, 256000},
    {"7", "AAC-HE", "Stereo", "48 kb/s", "AAC high efficiency: for narrow links.", 80, 120, 48000},
};

struct ProfileSpec {
    const char* name;
    bool prefers_second_channel;
    const char *local_encoder, *remote_encoder;
    int frames;
    bool has_fec;
    const char* delay_mode;
    int min_delay_ms;
};
const ProfileSpec kProfiles[] = {
    {"Factory Default", false, "1", "!follow", 2, false, "auto", 60},
    {"Voice Mono", true, "2", "2", 1, true, "auto", 40},
    {"Music Stereo", false, "3", "!follow", 2, false, "fixed", 120},
    {"Sports Low Delay", false, "4", "4", 1, false, "fixed", 30},
    {"Backup Narrow", false, "6", "6", 4, true, "auto", 200},
};

const char* const kPeerNames[] = {"London Studio", "Paris Bureau",   "Madrid OB Van",       "Berlin Desk",
                                  "Rome Stringer", "Oslo Truck",     "Vienna Concert Hall", "Lisbon Remote",
                                  "Dublin Booth",  "Prague Newsroom"};
const char* const kUnitSites[] = {"Studio",   "Newsroom",       "Sports Desk",
                                  "OB Truck", "Master Control", "Remote Kit"};

struct LinkSpec {
    const char *ldesc, *rdesc, *name;
    int base_delay_ms;
};
const LinkSpec kLinks[] = {
    {"eth0", "eth0", "Wired", 18},
    {"wwan0", "eth0", "Cellular A", 55},
    {"wlan0", "eth0", "Wi-Fi", 30},
    {"wwan1", "eth0", "Cellular B", 70},
};

std::string mac_text(int index, int last) {
    static const char kHex[] = "0123456789abcdef";
    const int bytes[] = {0x00, 0x1d, 0xc1, (index >> 8) & 0xff, index & 0xff, last & 0xff};
    std::string out;
    for (int b : bytes) {
        if (!out.empty()) out += ':';
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

int clamp_int(double value, int low, int high) {
    return static_cast<int>(std::lround(std::min<double>(std::max<double>(value, low), high)));
}

// Rejects over-long texts of a request; empty when all listed attributes fit.
std::string check_lengths(const Message& request, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (request.attributes().get_string(name, "").size() > CodecModel::kMaxTextLength) {
            return request.name() + ": " + name + " longer than " +
                   std::to_string(CodecModel::kMaxTextLength) + " bytes";
        }
    }
    return {};
}

}  // namespace

// ------------------------------------------------------------------------------------------------
// Seeding

CodecModel::CodecModel(int index, int64_t calendar_origin_s)
    : index_(index),
      seed_(mix(static_cast<uint64_t>(index) * 0x2545F4914F6CDD1DULL)),
      calendar_origin_s_(calendar_origin_s) {
    firmware_version_ = "4." + std::to_string(2 + index % 3) + "." + std::to_string(index % 7);
    node_id_ = mac_text(index, 0x01);
    build_ = 2100 + static_cast<unsigned>(index % 50);
    seed_codecs();
    seed_channels();
    seed_options();
    seed_profiles();
    seed_peers();
    seed_tunnel();
    seed_event_log();
}

void CodecModel::seed_codecs() {
    const size_t count = 6 + static_cast<size_t>(index_ % 2);
    for (size_t i = 0; i < count; ++i) {
        const CodecSpec& spec = kCodecs[i];
        codecs_.push_back({spec.id, spec.code, spec.mode, spec.name, spec.descr, spec.quality, spec.delay_ms,
                           spec.bitrate});
    }
}

void CodecModel::seed_channels() {
    const int count = 1 + index_ % 2;
    for (int id = 1; id <= count; ++id) {
        Channel channel;
        channel.id = id;
        channel.descr = id == 1 ? "Program" : "Talkback";
        channel.has_remote_opts = id == 1;
        channel.values.set("port", 9000 + 2 * (id - 1) + 10 * (index_ % 4));
        channel.values.set("dscp", id == 1 ? "46" : "34");
        channel.values.set("ttl", 64);
        channels_.push_back(channel);
    }
}

void CodecModel::seed_options() {
    system_opts_.set_name("systemOpts");
    sys_options_.set_name("sysOptions");
    directory_server_.set_name("directoryServer");
    for (const SystemOptionSpec& spec : kSystemOptions) {
        Message& option = add_option(system_opts_, spec.option, "default");
        option.attributes().set("group", spec.group);
        option.attributes().set("group_name", spec.group_name);
        option.attributes().set("subgroup", spec.subgroup);
        // Every subgroup an option names exists in "sysOptions": the program cannot show an option
        // whose subgroup element is missing.
        const std::string subgroup = spec.subgroup;
        if (!subgroup.empty() && !sys_options_.child_count(subgroup)) sys_options_.add_child(subgroup);
    }

    MessageAttributes& sys = sys_options_.attributes();
    sys.set("unit_name",
            std::string(kUnitSites[index_ % std::size(kUnitSites)]) + " " + std::to_string(index_ + 1));
    sys.set("contact", "Operations Desk");
    sys.set("time_zone", index_ % 3 == 0 ? "UTC" : "Europe/London");
    sys.set("default_peer", "0");
    sys.set("default_codec", "1");
    sys.set("auto_reconnect", true);
    sys.set("reconnect_delay", 10);
    MessageAttributes& network = sys_options_.get_child("network", 0).attributes();
    network.set("dhcp", index_ % 2 == 0);
    network.set("ip_addr", "10.20." + std::to_string(index_ / 250) + "." + std::to_string(index_ % 250 + 2));
    network.set("netmask", "255.255.255.0");
    network.set("gateway", "10.20." + std::to_string(index_ / 250) + ".1");
    MessageAttributes& audio = sys_options_.get_child("audio", 0).attributes();
    audio.set("input_gain", index_ % 5 - 2);
    audio.set("output_level", "4");
    audio.set("headphone_mix", 50);

    MessageAttributes& directory = directory_server_.attributes();
    directory.set("enabled", index_ % 4 != 3);
    directory.set("server", "dir.example.net");
    directory.set("port", 6055);
    directory.set("account", "sim-" + std::to_string(index_));

    channel_opts_.set_name("channelOpts");
    for (const Channel& channel : channels_) {
        for (const OptionSpec& spec : kChannelOptions) {
            Message& option = add_option(channel_opts_, spec, "default");
            option.attributes().set("channel", channel.id);
            option.attributes().set("channel_opt", true);
            option.attributes().set("profile_opt", false);
        }
        for (const OptionSpec& spec : kProfileOptions) {
            Message& option = add_option(channel_opts_, spec, "default");
            option.attributes().set("channel", channel.id);
            option.attributes().set("channel_opt", false);
            option.attributes().set("profile_opt", true);
        }
    }

    braidlink_group_.set_name("group");
    braidlink_group_.attributes().set("name", "tunnel");
    braidlink_group_.attributes().set("display_name", "Braidlink");
    for (const OptionSpec& spec : kBraidlinkOptions) {
        Message& option = add_option(braidlink_group_, spec, "default_value");
        std::string value = spec.default_value;
        if (std::string(spec.name) == "enabled") value = index_ % 5 == 4 ? "false" : "true";
        if (std::string(spec.name) == "max_links") value = std::to_string(2 + index_ % 2);
        option.attributes().set("value", value);
    }
}

Message CodecModel::new_profile(int id, const std::string& name, int channel) const {
    Message profile;
    profile.set_name("profile");
    profile.attributes().set("id", id);
    MessageAttributes& settings = profile.add_child("settings").attributes();
    settings.set("name", name);
    settings.set("channel", channel);
    settings.set("factory", false);
    MessageAttributes& local = profile.add_child("local").attributes();
    MessageAttributes& remote = profile.add_child("remote").attributes();
    for (const OptionSpec& spec : kProfileOptions) {
        local.set(spec.name, spec.default_value);
        remote.set(spec.name, std::string(spec.name) == "encoder" ? "!follow" : spec.default_value);
    }
    return profile;
}

void CodecModel::seed_profiles() {
    const size_t count = 3 + static_cast<size_t>(index_ % 3);
    for (size_t k = 0; k < count; ++k) {
        const ProfileSpec& spec = kProfiles[k];
        const int channel = spec.prefers_second_channel && channels_.size() > 1 ? 2 : 1;
        Message profile = new_profile(next_profile_id_++, spec.name, channel);
        profile.get_child("settings", 0).attributes().set("factory", k == 0);
        for (const char* side : {"local", "remote"}) {
            MessageAttributes& values = profile.get_child(side, 0).attributes();
            values.set("encoder", std::string(side) == "local" ? spec.local_encoder : spec.remote_encoder);
            values.set("frames", spec.frames);
            values.set("fec", spec.has_fec);
            values.set("delay_mode", spec.delay_mode);
            values.set("min_delay", spec.min_delay_ms);
        }
        if (k == static_cast<size_t>(index_) % count) profile.attributes().set("default", true);
        profiles_.push_back(profile);
    }
}

void CodecModel::seed_peers() {
    const int book_count = 4 + index_ % 4;
    const int first_name = (index_ * 3) % static_cast<int>(std::size(kPeerNames));
    for (int k = 0; k < book_count; ++k) {
        Peer peer;
        peer.id = next_peer_id_++;
        peer.name = kPeerNames[(first_name + k) % std::size(kPeerNames)];
        peer.addr = "192.0.2." + std::to_string((index_ * 7 + k * 13) % 250 + 2) + ":9000";
        peer.password = "sim" + std::to_string(mix(seed_ + static_cast<uint64_t>(k)) % 100000);
        peer.retries_primary = k == 1;
        if (k == 1) peer.backup_id = std::to_string(peer.id + 1);
        if (k == 3) {
            peer.is_bdlink = true;
            peer.unit = mac_text(index_ + 1000, k);
        }
        if (k % 3 == 2 && profiles_.size() > 1) peer.profile = 2;
        peers_.push_back(peer);
    }

    static const char* const kStates[] = {"online", "busy", "offline"};
    Peer directory;
    directory.id = next_peer_id_++;
    directory.name = "Mobile Reporter " + std::to_string(index_ % 9 + 1);
    directory.is_directory = true;
    directory.is_stored = false;
    directory.directory_product = "Pocket Codec";
    directory.directory_state = kStates[index_ % 3];
    directory.is_directory_online = index_ % 3 != 2;
    directory.can_connect = index_ % 3 == 1 ? "busy" : index_ % 3 == 2 ? "ts_fail" : "";
    peers_.push_back(directory);

    // Some codecs start in a call: the first book peers, one per channel.
    const int active = index_ % static_cast<int>(channels_.size() + 1);
    for (int k = 0; k < active; ++k) {
        peers_[static_cast<size_t>(k)].channel = channels_[static_cast<size_t>(k)].id;
        peers_[static_cast<size_t>(k)].connected_us =
            -static_cast<int64_t>(120 + mix(seed_ ^ 77u) % 3600) * 1000000;
        channels_[static_cast<size_t>(k)].peer_id = peers_[static_cast<size_t>(k)].id;
    }
}

void CodecModel::seed_tunnel() {
    tunnel_sid_ = 7000 + index_;
    tunnel_addr_ = "198.51.100." + std::to_string(index_ % 250 + 1) + ":9100";
    const size_t links = 2 + static_cast<size_t>(index_ % 3);
    for (size_t i = 0; i < links; ++i) {
        tunnel_links_.push_back(
            {static_cast<int>(i) + 1, 1, kLinks[i].ldesc, kLinks[i].rdesc, kLinks[i].name});
    }
    tunnel_tx_.is_auto = index_ % 2 == 0;
    tunnel_tx_.max_delay_ms = 300;
    tunnel_rx_.is_auto = true;
    tunnel_rx_.max_delay_ms = 400;
}

void CodecModel::seed_event_log() {
    const int64_t start = calendar_origin_s_ - 3600 - static_cast<int64_t>(mix(seed_ ^ 5u) % 1800);
    add_log_at(start, "System started, firmware " + firmware_version_);
    add_log_at(start + 4, "Network link up on eth0");
    if (directory_server_.attributes().get_bool("enabled", false)) {
        add_log_at(start + 9, "Registered with directory server dir.example.net");
    }
    if (is_tunnel_up()) add_log_at(start + 12, "Braidlink tunnel established");
    for (const Peer& peer : peers_) {
        if (peer.channel == 0) continue;
        const int64_t at = calendar_origin_s_ + peer.connected_us / 1000000;
        add_log_at(at, "Connected to " + peer.name + " on " + find_channel(peer.channel)->descr);
    }
    std::stable_sort(event_log_.begin(), event_log_.end(),
                     [](const LogEntry& a, const LogEntry& b) { return a.unix_s < b.unix_s; });
}

// ------------------------------------------------------------------------------------------------
// Lookups

std::string CodecModel::unit_name() const {
    return sys_options_.attributes().get_string("unit_name", "");
}

CodecModel::Peer* CodecModel::find_peer(int id) {
    for (Peer& peer : peers_) {
        if (peer.id == id) return &peer;
    }
    return nullptr;
}

const CodecModel::Peer* CodecModel::find_peer(int id) const {
    return const_cast<CodecModel*>(this)->find_peer(id);
}

CodecModel::Channel* CodecModel::find_channel(int id) {
    for (Channel& channel : channels_) {
        if (channel.id == id) return &channel;
    }
    return nullptr;
}

const CodecModel::Channel* CodecModel::find_channel(int id) const {
    return const_cast<CodecModel*>(this)->find_channel(id);
}

Message* CodecModel::find_profile(int id) {
    for (Message& profile : profiles_) {
        if (profile.attributes().get_int("id", 0) == id) return &profile;
    }
    return nullptr;
}

const Message* CodecModel::find_profile(int id) const {
    return const_cast<CodecModel*>(this)->find_profile(id);
}

const CodecModel::CodecType* CodecModel::find_codec(const std::string& id) const {
    for (const CodecType& codec : codecs_) {
        if (codec.id == id) return &codec;
    }
    return nullptr;
}

Message* CodecModel::braidlink_option(const std::string& name) {
    for (int row = 0; row < braidlink_group_.size(); ++row) {
        Message& option = braidlink_group_.get_child(row);
        if (option.attributes().get_string("name", "") == name) return &option;
    }
    return nullptr;
}

const Message* CodecModel::braidlink_option(const std::string& name) const {
    return const_cast<CodecModel*>(this)->braidlink_option(name);
}

std::string CodecModel::braidlink_value(const std::string& name) const {
    const Message* option = braidlink_option(name);
    return option ? option->attributes().get_string("value", "") : std::string();
}

const Message* CodecModel::profile_for(const Peer& peer) const {
    if (const Message* own = find_profile(peer.profile)) return own;
    for (const Message& profile : profiles_) {
        if (profile.attributes().get_bool("default", false)) return &profile;
    }
    return profiles_.empty() ? nullptr : &profiles_.front();
}

std::string CodecModel::profile_encoder(const Peer& peer) const {
    const Message* profile = profile_for(peer);
    return profile ? profile->get_child("local", 0).attributes().get_string("encoder", "1") : "1";
}

std::string CodecModel::check_value(const Message& descriptor, const std::string& value,
                                    bool allows_follow) const {
    const std::string type = descriptor.attributes().get_string("type", "");
    if (value.size() > kMaxTextLength) return "longer than " + std::to_string(kMaxTextLength) + " bytes";
    if (type == "int") {
        int number = 0;
        if (!parse_int(value, number)) return "not a whole number";
        const int low = descriptor.attributes().get_int("min", 0);
        const int high = descriptor.attributes().get_int("max", 0);
        if (number < low || number > high) {
            return "outside " + std::to_string(low) + ".." + std::to_string(high);
        }
    } else if (type == "bool") {
        if (value != "true" && value != "false") return "neither true nor false";
    } else if (type == "select") {
        for (int row = 0; row < descriptor.size(); ++row) {
            const Message& choice = descriptor.get_child(row);
            if (choice.name() == "select" && choice.attributes().get_string("value", "") == value) return {};
        }
        return "not one of the choices";
    } else if (type == "codec") {
        if (!(allows_follow && value == "!follow") && !find_codec(value)) return "no such codec";
    } else if (type == "peer") {
        int id = 0;
        if (!parse_int(value, id) || (id != 0 && !find_peer(id))) return "no such peer";
    }
    return {};
}

std::string CodecModel::check_profile_options(const Message& profile) const {
    const std::string channel = profile.get_child("settings", 0).attributes().get_string("channel", "");
    for (const char* side : {"local", "remote"}) {
        const Message* values = first_child(profile, side);
        if (!values) continue;
        for (int row = 0; row < channel_opts_.size(); ++row) {
            const Message& option = channel_opts_.get_child(row);
            const MessageAttributes& a = option.attributes();
            if (!a.get_bool("profile_opt", false) || a.get_string("channel", "") != channel) continue;
            const std::string name = a.get_string("name", "");
            if (!values->attributes().has(name)) continue;
            const std::string value = values->attributes().get_string(name, "");
            const std::string why = check_value(option, value, std::string(side) == "remote");
            if (!why.empty()) return std::string(side) + " " + name + " \"" + value + "\": " + why;
        }
    }
    return {};
}

// ------------------------------------------------------------------------------------------------
// Requests

bool CodecModel::handle_request(const Message& request, int64_t now_us, Message& reply) {
    const std::string& name = request.name();
    const std::string path = request.attributes().get_string("path", "");
    if (name == "getChannelList") {
        fill_channel_list(reply);
    } else if (name == "getChannelOpts") {
        reply.add_children_copy(channel_opts_);
    } else if (name == "getProfileList") {
        fill_profile_list(reply);
    } else if (name == "getCodecList") {
        fill_codec_list(reply);
    } else if (name == "getPeerList") {
        fill_peer_list(reply);
    } else if (name == "getDirectoryServer") {
        fill_directory_server(reply);
    } else if (name == "getSysOptions") {
        fill_sys_options(reply);
    } else if (name == "getVersion") {
        fill_version(reply);
    } else if (name == "getEventLog") {
        do_get_event_log(request, reply);
    } else if (name == "cfgDescribe" || name == "cfgGetStatus") {
        if (path != "netmgr.tunnel") {
            fail(reply, kNotFound, name + ": no configuration path \"" + path + "\"");
        } else if (name == "cfgDescribe") {
            fill_braidlink_settings(reply);
        } else {
            fill_tunnel_node(reply.add_child("node"));
        }
    } else if (name == "connect") {
        do_connect(request, now_us, reply);
    } else if (name == "disconnect") {
        do_disconnect(request, now_us, reply);
    } else if (name == "addPeer") {
        do_add_peer(request, now_us, reply);
    } else if (name == "setPeerSettings") {
        do_set_peer_settings(request, now_us, reply);
    } else if (name == "removePeer") {
        do_remove_peer(request, now_us, reply);
    } else if (name == "addProfile") {
        do_add_profile(request, now_us, reply);
    } else if (name == "copyProfile") {
        do_copy_profile(request, now_us, reply);
    } else if (name == "setProfile") {
        do_set_profile(request, now_us, reply);
    } else if (name == "deleteProfile") {
        do_delete_profile(request, now_us, reply);
    } else if (name == "setSysOptions") {
        do_set_sys_options(request, now_us, reply);
    } else if (name == "setDirectoryServer") {
        do_set_directory_server(request, now_us, reply);
    } else if (name == "setChannelSettings") {
        do_set_channel_settings(request, now_us, reply);
    } else if (name == "cfgSetOption") {
        do_cfg_set_option(request, now_us, reply);
    } else if (name == "setMaxDelay") {
        do_set_max_delay(request, reply);
    } else if (name == "monitor") {
        do_monitor(request);
    } else {
        return false;
    }
    // The program files a reply without "seq" that has children under its first child's name, as
    // if it were that report ("getEventLog" with "clear" would look like an "e" report).
    if (!request.attributes().has("seq")) reply.delete_children();
    return true;
}

void CodecModel::do_connect(const Message& request, int64_t now_us, Message& reply) {
    int id = 0;
    if (!parse_int(request.attributes().get_string("id", ""), id)) {
        fail(reply, kBadRequest, "connect: peer id missing or not a number");
        return;
    }
    Peer* peer = find_peer(id);
    if (!peer) {
        fail(reply, kNotFound, "connect: no peer " + std::to_string(id));
        return;
    }
    if (peer->channel != 0) return;  // already connected: nothing changes
    if (peer->is_directory && !peer->is_directory_online) {
        fail(reply, kConflict, "connect: " + peer->name + " is offline");
        add_log(now_us, "Connect to " + peer->name + " failed: peer offline");
        return;
    }
    // The channel of the peer's profile when it is free, else the first free one.
    Channel* channel = nullptr;
    if (const Message* profile = profile_for(*peer)) {
        Channel* wanted = find_channel(profile->get_child("settings", 0).attributes().get_int("channel", 0));
        if (wanted && wanted->peer_id == 0) channel = wanted;
    }
    for (size_t i = 0; !channel && i < channels_.size(); ++i) {
        if (channels_[i].peer_id == 0) channel = &channels_[i];
    }
    if (!channel) {
        fail(reply, kConflict, "connect: no free channel for " + peer->name);
        add_log(now_us, "Connect to " + peer->name + " failed: no free channel");
        return;
    }
    channel->peer_id = peer->id;
    peer->channel = channel->id;
    peer->connected_us = now_us;
    add_log(now_us, "Connected to " + peer->name + " on " + channel->descr);
    is_peer_list_changed_ = true;
}

void CodecModel::disconnect_peer(Peer& peer, int64_t now_us) {
    if (peer.channel == 0) return;
    if (Channel* channel = find_channel(peer.channel)) channel->peer_id = 0;
    peer.channel = 0;
    add_log(now_us, "Disconnected from " + peer.name);
    is_peer_list_changed_ = true;
}

void CodecModel::do_disconnect(const Message& request, int64_t now_us, Message& reply) {
    if (!request.attributes().has("id")) {
        for (Peer& peer : peers_) disconnect_peer(peer, now_us);
        return;
    }
    int id = 0;
    if (!parse_int(request.attributes().get_string("id", ""), id)) {
        fail(reply, kBadRequest, "disconnect: peer id not a number");
        return;
    }
    Peer* peer = find_peer(id);
    if (!peer) {
        fail(reply, kNotFound, "disconnect: no peer " + std::to_string(id));
        return;
    }
    disconnect_peer(*peer, now_us);
}

void CodecModel::do_add_peer(const Message& request, int64_t now_us, Message& reply) {
    const MessageAttributes& a = request.attributes();
    const std::string too_long = check_lengths(request, {"name", "addr", "password", "unit"});
    if (!too_long.empty()) {
        fail(reply, kBadRequest, too_long);
        return;
    }
    Peer peer;
    peer.name = a.get_string("name", "");
    peer.addr = a.get_string("addr", "");
    peer.password = a.get_string("password", "");
    peer.unit = a.get_string("unit", "");
    peer.is_bdlink = a.get_bool("use_bdlink", false);
    if (peer.name.empty() && peer.addr.empty() && peer.unit.empty()) {
        fail(reply, kBadRequest, "addPeer: neither name, address nor unit given");
        return;
    }
    if (peers_.size() >= kMaxPeers) {
        fail(reply, kConflict, "addPeer: address book full (" + std::to_string(kMaxPeers) + " peers)");
        return;
    }
    if (peer.name.empty()) peer.name = peer.addr.empty() ? peer.unit : peer.addr;
    if (is_reusing_peer_ids_) {
        peer.id = 1;
        while (find_peer(peer.id)) ++peer.id;
    } else {
        peer.id = next_peer_id_++;
    }
    reply.attributes().set("id", peer.id);
    add_log(now_us, "Peer added: " + peer.name);
    peers_.push_back(peer);
    is_peer_list_changed_ = true;
}

void CodecModel::do_set_peer_settings(const Message& request, int64_t now_us, Message& reply) {
    const MessageAttributes& a = request.attributes();
    int id = 0;
    if (!parse_int(a.get_string("id", ""), id)) {
        fail(reply, kBadRequest, "setPeerSettings: peer id missing or not a number");
        return;
    }
    Peer* peer = find_peer(id);
    if (!peer) {
        fail(reply, kNotFound, "setPeerSettings: no peer " + std::to_string(id));
        return;
    }
    int profile = peer->profile;
    if (a.has("profile")) {
        if (!parse_int(a.get_string("profile", ""), profile) || (profile != 0 && !find_profile(profile))) {
            fail(reply, kNotFound, "setPeerSettings: no profile \"" + a.get_string("profile", "") + "\"");
            return;
        }
    }
    const std::string too_long = check_lengths(request, {"name", "addr", "password", "unit"});
    if (!too_long.empty()) {
        fail(reply, kBadRequest, too_long);
        return;
    }
    if (a.has("name") && a.get_string("name", "").empty()) {
        fail(reply, kBadRequest, "setPeerSettings: empty name");
        return;
    }
    const bool is_edit =
        a.has("name") || a.has("addr") || a.has("password") || a.has("unit") || a.has("bdlink");
    peer->profile = profile;
    peer->name = a.get_string("name", peer->name);
    peer->addr = a.get_string("addr", peer->addr);
    peer->password = a.get_string("password", peer->password);
    peer->unit = a.get_string("unit", peer->unit);
    if (a.has("bdlink")) peer->is_bdlink = a.get_bool("bdlink", false);
    if (is_edit) add_log(now_us, "Peer changed: " + peer->name);
    is_peer_list_changed_ = true;
}

void CodecModel::do_remove_peer(const Message& request, int64_t now_us, Message& reply) {
    int id = 0;
    if (!parse_int(request.attributes().get_string("id", ""), id)) {
        fail(reply, kBadRequest, "removePeer: peer id missing or not a number");
        return;
    }
    Peer* peer = find_peer(id);
    if (!peer) {
        fail(reply, kNotFound, "removePeer: no peer " + std::to_string(id));
        return;
    }
    disconnect_peer(*peer, now_us);
    add_log(now_us, "Peer removed: " + peer->name);
    peers_.erase(peers_.begin() + (peer - peers_.data()));
    if (sys_options_.attributes().get_string("default_peer", "0") == std::to_string(id)) {
        sys_options_.attributes().set("default_peer", "0");
        is_sys_options_changed_ = true;
    }
    is_peer_list_changed_ = true;
}

void CodecModel::do_add_profile(const Message& request, int64_t now_us, Message& reply) {
    if (is_reusing_profile_ids_ && !profiles_.empty()) {
        reply.attributes().set("id", profiles_.back().attributes().get_int("id", 0));
        return;
    }
    if (profiles_.size() >= kMaxProfiles) {
        fail(reply, kConflict,
             "addProfile: profile list full (" + std::to_string(kMaxProfiles) + " profiles)");
        return;
    }
    std::string name = "New Profile";
    int channel = channels_.front().id;
    if (const Message* settings = first_child(request, "settings")) {
        name = settings->attributes().get_string("name", name);
        int wanted = 0;
        if (parse_int(settings->attributes().get_string("channel", ""), wanted) && find_channel(wanted)) {
            channel = wanted;
        }
    }
    if (name.empty() || name.size() > kMaxTextLength) {
        fail(reply, kBadRequest,
             "addProfile: name empty or longer than " + std::to_string(kMaxTextLength) + " bytes");
        return;
    }
    const int id = next_profile_id_++;
    profiles_.push_back(new_profile(id, name, channel));
    reply.attributes().set("id", id);
    add_log(now_us, "Profile added: " + name);
    is_profile_list_changed_ = true;
}

void CodecModel::do_copy_profile(const Message& request, int64_t now_us, Message& reply) {
    const Message* source = find_profile(request.attributes().get_int("id", 0));
    const std::string name = request.attributes().get_string("name", "");
    if (!source) {
        fail(reply, kNotFound,
             "copyProfile: no profile \"" + request.attributes().get_string("id", "") + "\"");
        return;
    }
    if (name.empty() || name.size() > kMaxTextLength) {
        fail(reply, kBadRequest,
             "copyProfile: name empty or longer than " + std::to_string(kMaxTextLength) + " bytes");
        return;
    }
    if (profiles_.size() >= kMaxProfiles) {
        fail(reply, kConflict,
             "copyProfile: profile list full (" + std::to_string(kMaxProfiles) + " profiles)");
        return;
    }
    Message copy = *source;
    const int id = next_profile_id_++;
    copy.attributes().set("id", id);
    copy.attributes().remove("default");
    MessageAttributes& settings = copy.get_child("settings", 0).attributes();
    settings.set("name", name);
    settings.set("factory", false);
    profiles_.push_back(copy);
    reply.attributes().set("id", id);
    add_log(now_us, "Profile added: " + name);
    is_profile_list_changed_ = true;
}

void CodecModel::do_set_profile(const Message& request, int64_t now_us, Message& reply) {
    Message* stored = find_profile(request.attributes().get_int("id", 0));
    if (!stored) {
        fail(reply, kNotFound,
             "setProfile: no profile \"" + request.attributes().get_string("id", "") + "\"");
        return;
    }
    // The new profile: the stored one with the request's settings and option values laid over it.
    // Only the parts a profile has are taken; whatever else the request carries is not kept.
    Message updated = *stored;
    MessageAttributes& settings = updated.get_child("settings", 0).attributes();
    if (const Message* given = first_child(request, "settings")) {
        const std::string name = given->attributes().get_string("name", settings.get_string("name", ""));
        if (name.empty() || name.size() > kMaxTextLength) {
            fail(reply, kBadRequest,
                 "setProfile: name empty or longer than " + std::to_string(kMaxTextLength) + " bytes");
            return;
        }
        settings.set("name", name);
        if (given->attributes().has("channel")) {
            int channel = 0;
            if (!parse_int(given->attributes().get_string("channel", ""), channel) ||
                !find_channel(channel)) {
                fail(reply, kBadRequest,
                     "setProfile: no channel \"" + given->attributes().get_string("channel", "") + "\"");
                return;
            }
            settings.set("channel", channel);
        }
    }
    for (const char* side : {"local", "remote"}) {
        const Message* given = first_child(request, side);
        if (!given) continue;
        MessageAttributes& values = updated.get_child(side, 0).attributes();
        for (const OptionSpec& spec : kProfileOptions) {
            if (given->attributes().has(spec.name))
                values.set(spec.name, given->attributes().get_string(spec.name, ""));
        }
    }
    const std::string why = check_profile_options(updated);
    if (!why.empty()) {
        fail(reply, kBadRequest, "setProfile: " + why);
        return;
    }
    const bool makes_default =
        request.attributes().get_bool("default", false) && !stored->attributes().get_bool("default", false);
    if (makes_default) {
        for (Message& profile : profiles_) profile.attributes().remove("default");
        updated.attributes().set("default", true);
    }
    *stored = updated;
    add_log(now_us,
            (makes_default ? "Default profile: " : "Profile saved: ") + settings.get_string("name", ""));
    is_profile_list_changed_ = true;
}

void CodecModel::do_delete_profile(const Message& request, int64_t now_us, Message& reply) {
    const int id = request.attributes().get_int("id", 0);
    Message* profile = find_profile(id);
    if (!profile) {
        fail(reply, kNotFound,
             "deleteProfile: no profile \"" + request.attributes().get_string("id", "") + "\"");
        return;
    }
    const bool was_default = profile->attributes().get_bool("default", false);
    add_log(now_us,
            "Profile removed: " + profile->get_child("settings", 0).attributes().get_string("name", ""));
    profiles_.erase(profiles_.begin() + (profile - profiles_.data()));
    if (was_default && !profiles_.empty()) profiles_.front().attributes().set("default", true);
    for (Peer& peer : peers_) {
        if (peer.profile == id) {
            peer.profile = 0;
            is_peer_list_changed_ = true;
        }
    }
    is_profile_list_changed_ = true;
}

void CodecModel::do_set_sys_options(const Message& request, int64_t now_us, Message& reply) {
    // The program sends back the whole cached reply with its edits; anything that names no option
    // ("seq", a stale "fail") is ignored. All values are checked before any is stored.
    Message updated = sys_options_;
    bool is_changed = false;
    for (int row = 0; row < system_opts_.size(); ++row) {
        const Message& option = system_opts_.get_child(row);
        const MessageAttributes& d = option.attributes();
        if (d.get_string("group", "") == "directoryServer") continue;
        const std::string name = d.get_string("name", "");
        const std::string subgroup = d.get_string("subgroup", "");
        const Message* source = subgroup.empty() ? &request : first_child(request, subgroup);
        if (!source || !source->attributes().has(name)) continue;
        const std::string value = source->attributes().get_string(name, "");
        const std::string why = check_value(option, value, false);
        if (!why.empty()) {
            fail(reply, kBadRequest, "setSysOptions: " + name + " \"" + value + "\": " + why);
            return;
        }
        Message& target = subgroup.empty() ? updated : updated.get_child(subgroup, 0);
        if (target.attributes().get_string(name, "") != value) {
            target.attributes().set(name, value);
            is_changed = true;
        }
    }
    if (!is_changed) return;
    sys_options_ = updated;
    add_log(now_us, "System settings saved");
    is_sys_options_changed_ = true;
}

void CodecModel::do_set_directory_server(const Message& request, int64_t now_us, Message& reply) {
    Message updated = directory_server_;
    bool is_changed = false;
    for (int row = 0; row < system_opts_.size(); ++row) {
        const Message& option = system_opts_.get_child(row);
        if (option.attributes().get_string("group", "") != "directoryServer") continue;
        const std::string name = option.attributes().get_string("name", "");
        if (!request.attributes().has(name)) continue;
        const std::string value = request.attributes().get_string(name, "");
        const std::string why = check_value(option, value, false);
        if (!why.empty()) {
            fail(reply, kBadRequest, "setDirectoryServer: " + name + " \"" + value + "\": " + why);
            return;
        }
        if (updated.attributes().get_string(name, "") != value) {
            updated.attributes().set(name, value);
            is_changed = true;
        }
    }
    if (!is_changed) return;
    directory_server_ = updated;
    add_log(now_us, directory_server_.attributes().get_bool("enabled", false)
                        ? "Registered with directory server " +
                              directory_server_.attributes().get_string("server", "")
                        : "Directory server registration off");
    is_directory_server_changed_ = true;
}

void CodecModel::do_set_channel_settings(const Message& request, int64_t now_us, Message& reply) {
    int id = 0;
    if (!parse_int(request.attributes().get_string("id", ""), id)) {
        fail(reply, kBadRequest, "setChannelSettings: channel id missing or not a number");
        return;
    }
    Channel* channel = find_channel(id);
    const Message* given = first_child(request, "channel");
    if (!channel) {
        fail(reply, kNotFound, "setChannelSettings: no channel " + std::to_string(id));
        return;
    }
    if (!given) {
        fail(reply, kBadRequest, "setChannelSettings: no \"channel\" element");
        return;
    }
    MessageAttributes updated = channel->values;
    bool is_changed = false;
    for (int row = 0; row < channel_opts_.size(); ++row) {
        const Message& option = channel_opts_.get_child(row);
        const MessageAttributes& d = option.attributes();
        if (!d.get_bool("channel_opt", false) || d.get_int("channel", 0) != id) continue;
        const std::string name = d.get_string("name", "");
        if (!given->attributes().has(name)) continue;
        const std::string value = given->attributes().get_string(name, "");
        const std::string why = check_value(option, value, false);
        if (!why.empty()) {
            fail(reply, kBadRequest, "setChannelSettings: " + name + " \"" + value + "\": " + why);
            return;
        }
        if (updated.get_string(name, "") != value) {
            updated.set(name, value);
            is_changed = true;
        }
    }
    if (!is_changed) return;
    channel->values = updated;
    add_log(now_us, "Channel " + channel->descr + " settings saved");
    is_channel_list_changed_ = true;
}

void CodecModel::do_cfg_set_option(const Message& request, int64_t now_us, Message& reply) {
    const std::string path = request.attributes().get_string("path", "");
    if (path != "netmgr.tunnel") {
        fail(reply, kNotFound, "cfgSetOption: no configuration path \"" + path + "\"");
        return;
    }
    // Check every option first, so that a refused request changes nothing.
    std::vector<std::pair<std::string, std::string>> values;
    for (int row = 0; row < request.size(); ++row) {
        const Message& given = request.get_child(row);
        if (given.name() != "option" || !given.attributes().has("value")) continue;
        const std::string name = given.attributes().get_string("name", "");
        const std::string value = given.attributes().get_string("value", "");
        const Message* option = braidlink_option(name);
        if (!option) {
            fail(reply, kNotFound, "cfgSetOption: no option \"" + name + "\"");
            return;
        }
        const std::string why = check_value(*option, value, false);
        if (!why.empty()) {
            fail(reply, kBadRequest, "cfgSetOption: " + name + " \"" + value + "\": " + why);
            return;
        }
        values.emplace_back(name, value);
    }
    bool is_changed = false;
    for (const auto& [name, value] : values) {
        Message& option = *braidlink_option(name);
        if (option.attributes().get_string("value", "") != value) {
            option.attributes().set("value", value);
            is_changed = true;
        }
        Message& answer = reply.add_child("option");
        answer.attributes().set("option", path + "." + name);
        answer.attributes().set("value", value);
    }
    if (is_changed) add_log(now_us, "Braidlink settings saved");
}

void CodecModel::do_set_max_delay(const Message& request, Message& reply) {
    const MessageAttributes& a = request.attributes();
    if (a.get_int("sid", 0) != tunnel_sid_ || !is_tunnel_up()) {
        fail(reply, kNotFound, "setMaxDelay: no tunnel session \"" + a.get_string("sid", "") + "\"");
        return;
    }
    TunnelDirection& direction = a.get_bool("remote", false) ? tunnel_rx_ : tunnel_tx_;
    const bool is_auto = a.get_bool("auto", false);
    int delay = direction.max_delay_ms;
    if (!is_auto) {
        const int high = tunnel_delay_point(4);
        if (!parse_int(a.get_string("delay", ""), delay) || delay < 10 || delay > high) {
            fail(reply, kBadRequest,
                 "setMaxDelay: delay \"" + a.get_string("delay", "") + "\" outside 10.." +
                     std::to_string(high));
            return;
        }
    }
    direction.is_auto = is_auto;
    direction.max_delay_ms = delay;
}

void CodecModel::do_monitor(const Message& request) {
    // "meterInterval" is not this model's business: the subscription's interval paces the reports.
    if (request.attributes().has("metering"))
        is_metering_on_ = request.attributes().get_bool("metering", false);
}

void CodecModel::do_get_event_log(const Message& request, Message& reply) {
    for (const LogEntry& entry : event_log_) {
        Message& e = reply.add_child("e");
        e.attributes().set("ts", format_stamp(entry.unix_s));
        e.value().set(entry.text);
    }
    if (request.attributes().get_bool("clear", false)) {
        event_log_.clear();
        event_log_bytes_ = 0;
    }
}

// ------------------------------------------------------------------------------------------------
// Reply content

void CodecModel::fill_channel_list(Message& node) const {
    for (const Channel& channel : channels_) {
        Message& element = node.add_child("channel");
        MessageAttributes& a = element.attributes();
        a += channel.values;
        a.set("id", channel.id);
        a.set("descr", channel.descr);
        a.set("advanced", false);
        a.set("remote_opts", channel.has_remote_opts);
        a.set("state", channel.peer_id ? "Connected" : "Idle");
    }
}

void CodecModel::fill_profile_list(Message& node) const {
    for (const Message& profile : profiles_) node.add_child_copy(profile);
}

void CodecModel::fill_codec_list(Message& node) const {
    for (const CodecType& codec : codecs_) {
        MessageAttributes& a = node.add_child("codec").attributes();
        a.set("id", codec.id);
        a.set("code", codec.code);
        a.set("mode", codec.mode);
        a.set("name", codec.name);
        a.set("descr", codec.descr);
        a.set("quality", codec.quality);
        a.set("delay", codec.delay_ms);
    }
}

void CodecModel::fill_peer_list(Message& node) const {
    for (const Peer& peer : peers_) append_peer(node, peer);
}

void CodecModel::append_peer(Message& list, const Peer& peer) const {
    Message& element = list.add_child("peer");
    MessageAttributes& a = element.attributes();
    a.set("id", peer.id);
    a.set("name", peer.name);
    if (!peer.is_directory) {
        a.set("addr", peer.addr);
        // Both spellings: the list reader takes "pw" and "bdlink", while copying a peer to another
        // codec takes "password" and "use_bdlink" from the same element.
        a.set("pw", peer.password);
        a.set("password", peer.password);
    }
    a.set("unit", peer.unit);
    a.set("bdlink", peer.is_bdlink);
    a.set("use_bdlink", peer.is_bdlink);
    a.set("profile", peer.profile);
    a.set("stored", peer.is_stored);
    a.set("retry_primary", peer.retries_primary);
    if (!peer.backup_id.empty()) a.set("backup_id", peer.backup_id);
    if (!peer.can_connect.empty()) a.set("can_connect", peer.can_connect);
    a.set("active", peer.channel != 0);
    if (peer.channel != 0) {
        // The codec received is the one the far end sends: the profile's remote encoder, or the
        // local one when the remote side follows it.
        std::string rx = "1";
        if (const Message* profile = profile_for(peer)) {
            rx = profile->get_child("remote", 0).attributes().get_string("encoder", "1");
            if (rx == "!follow") rx = profile->get_child("local", 0).attributes().get_string("encoder", "1");
        }
        const CodecType* codec = find_codec(rx);
        a.set("channel", std::to_string(peer.channel));
        a.set("chan_state", "Connected");
        a.set("state", "connected");
        a.set("rx_codec", codec ? codec->code + " " + codec->mode + " " + codec->name : rx);
        a.set("transmitting", true);
        a.set("receiving", true);
        a.set("channels", codec && codec->mode == "Mono" ? 1 : 2);
    }
    if (peer.is_directory) {
        MessageAttributes& d = element.add_child("directory").attributes();
        d.set("product", peer.directory_product);
        d.set("state", peer.directory_state);
        d.set("online", peer.is_directory_online);
    }
}

void CodecModel::fill_directory_server(Message& node) const {
    MessageAttributes& a = node.attributes();
    a += directory_server_.attributes();
    const bool is_enabled = directory_server_.attributes().get_bool("enabled", false);
    a.set("connected", is_enabled);
    a.set("nat_addr", is_enabled ? "203.0.113." + std::to_string(index_ % 250 + 1) : "");
    a.set("nat_type", is_enabled ? "Port Restricted Cone" : "");
}

void CodecModel::fill_sys_options(Message& node) const {
    node.attributes() += sys_options_.attributes();
    node.add_children_copy(sys_options_);
    if (is_settings_malformed_) node.remove_child("audio", 0);
}

void CodecModel::fill_version(Message& node) const {
    MessageAttributes& a = node.attributes();
    a.set("version", firmware_version_);
    a.set("node_id", node_id_);
    a.set("build", build_);
    a.set("product", "Kestrane Sim Codec");
}

void CodecModel::fill_braidlink_settings(Message& node) const {
    // "group" is the first and only child of "node": one reader looks it up by name, another takes
    // the first child whatever it is.
    Message& element = node.add_child("node");
    element.attributes().set("path", "netmgr.tunnel");
    if (!is_settings_malformed_) element.add_child_copy(braidlink_group_);
}

bool CodecModel::is_tunnel_up() const {
    return braidlink_value("enabled") == "true";
}

void CodecModel::fill_tunnel_sess(Message& sess) const {
    int links = 0;
    parse_int(braidlink_value("max_links"), links);
    links = std::min(links, static_cast<int>(tunnel_links_.size()));
    MessageAttributes& a = sess.attributes();
    a.set("sid", tunnel_sid_);
    a.set("active", true);
    a.set("protected", braidlink_value("mode") == "redundant");
    a.set("encrypted", braidlink_value("encrypt") == "true");
    a.set("state", "connected");
    for (int i = 0; i < links; ++i) {
        const TunnelLink& link = tunnel_links_[static_cast<size_t>(i)];
        MessageAttributes& c = sess.add_child("conn").attributes();
        c.set("li", link.li);
        c.set("ri", link.ri);
        c.set("ldesc", link.ldesc);
        c.set("rdesc", link.rdesc);
        c.set("name", link.name);
    }
}

void CodecModel::fill_tunnel_node(Message& node) const {
    // A "node" always, so that the status reader finds one; without a tunnel it holds no session.
    if (!is_tunnel_up()) return;
    Message& sess = node.add_child("sess");
    fill_tunnel_sess(sess);
    sess.attributes().set("active_conns", sess.size());
    sess.attributes().set("addr", tunnel_addr_);
}

Message CodecModel::wrap_unso(const std::string& name, void (CodecModel::*fill)(Message&) const) const {
    Message unso;
    unso.set_name("unso");
    unso.attributes().set("id", "unso");
    (this->*fill)(unso.add_child(name));
    return unso;
}

std::vector<Message> CodecModel::take_pushes() {
    std::vector<Message> pushes;
    // Profiles before peers: a peer list may name a profile that is new.
    if (is_profile_list_changed_) pushes.push_back(wrap_unso("profileList", &CodecModel::fill_profile_list));
    if (is_channel_list_changed_) pushes.push_back(wrap_unso("channelList", &CodecModel::fill_channel_list));
    if (is_directory_server_changed_) {
        pushes.push_back(wrap_unso("directoryServer", &CodecModel::fill_directory_server));
    }
    if (is_sys_options_changed_) pushes.push_back(wrap_unso("sysOptions", &CodecModel::fill_sys_options));
    if (is_peer_list_changed_) pushes.push_back(wrap_unso("peerList", &CodecModel::fill_peer_list));
    is_profile_list_changed_ = is_channel_list_changed_ = is_directory_server_changed_ = false;
    is_sys_options_changed_ = is_peer_list_changed_ = false;
    return pushes;
}

Message CodecModel::system_options_push() const {
    Message unso;
    unso.set_name("unso");
    unso.attributes().set("id", "unso");
    unso.add_child_copy(system_opts_);
    return unso;
}

// ------------------------------------------------------------------------------------------------
// Reports

const std::vector<CodecModel::Subscription>& CodecModel::subscriptions() {
    static const std::vector<Subscription> kTable = {
        {"peer_stats", 0, 1000, true},
        {"channel_stats", 0, 1000, true},
        {"tun_conns", 0, 5000, true},
        {"tun_stats", 0, 1000, true},
        {"power", 0, 0, true},
        {"version", 0, 0, true},  // only when the firmware changes, which it never does here
        {"metering", 67, 67, true},  // at the pace the peers ask for (CodecSimOptions::meter_ms)
        {"cfgStatus:netmgr.tunnel", 0, 5000, true},
        // The program files these reports only under the "id" "netmgr.tunnel"; published under the
        // subscription's own name they would reach no handler.
        {"cfgData:netmgr.tunnel.*", 0, 10000, false},
    };
    return kTable;
}

double CodecModel::noise(uint64_t a, uint64_t b) const {
    return static_cast<double>(mix(seed_ ^ mix(a) ^ mix(b ^ 0x5851F42D4C957F2DULL)) >> 11) /
           9007199254740992.0;
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
        a.set("callTime",
              static_cast<unsigned>(std::max<int64_t>(0, (now_us - peer.connected_us) / 1000000)));
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
    return clamp_int(70 + 30 * std::sin(2 * kPi * t / 23.0) + 20 * noise(3000, second), 10,
                     tunnel_delay_point(4));
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
        const LinkSpec& spec = kLinks[i];
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
            c.set(p + "d", clamp_int(spec.base_delay_ms * (0.8 + 0.5 * n(3)), 1, 100000));
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

// ------------------------------------------------------------------------------------------------
// Event log

void CodecModel::add_log(int64_t now_us, const std::string& text) {
    add_log_at(calendar_origin_s_ + floor_div(now_us, 1000000), text);
}

void CodecModel::add_log_at(int64_t unix_s, const std::string& text) {
    event_log_.push_back({unix_s, text});
    event_log_bytes_ += text.size() + kEventLogEntryBytes;
    while (event_log_bytes_ > kMaxEventLogBytes) {
        event_log_bytes_ -= event_log_.front().text.size() + kEventLogEntryBytes;
        event_log_.pop_front();
    }
}

void CodecModel::lengthen_texts(int64_t now_us, size_t length) {
    std::string text = std::to_string(now_us);
    text.resize(length, 'x');
    sys_options_.attributes().set("unit_name", text);
    if (!peers_.empty()) peers_.front().name = text;
    add_log(now_us, text);
    is_sys_options_changed_ = is_peer_list_changed_ = true;
}

void CodecModel::log_burst(int64_t now_us, int count) {
    for (int i = 1; i <= count; ++i) {
        add_log(now_us, "Chatty event " + std::to_string(i) + " of " + std::to_string(count) + " at " +
                            std::to_string(now_us));
    }
}

std::string CodecModel::frame_with_text(const Message& message) {
    std::string out;
    append_element(out, message, 1);
    out += '\0';
    return out;
}
