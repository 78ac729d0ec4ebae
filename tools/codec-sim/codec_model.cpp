// CodecModel's state: what a codec is seeded with from its index (its codecs, channels, settings,
// profiles, peers, tunnel and first events) and how the rest of the model looks it up. Requests,
// replies, reports and the event log each have a file of their own (codec_model_*.cpp).
#include "tools/codec-sim/codec_model.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "tools/codec-sim/codec_options.h"
#include "tools/codec-sim/sim_numbers.h"

using codec_sim::add_option;
using codec_sim::braidlink_option_specs;
using codec_sim::channel_option_specs;
using codec_sim::mix;
using codec_sim::OptionSpec;
using codec_sim::profile_option_specs;
using codec_sim::system_option_specs;
using codec_sim::SystemOptionSpec;

namespace {

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
const char* const kUnitSites[] = {"Studio", "Newsroom", "Sports Desk", "OB Truck", "Master Control", "Remote Kit"};
// Each character within Latin-1, so that a codec writing Latin-1 can send them.
const char* const kAccentedPeerNames[] = {"Köln Südwest", "Zürich Studio",   "Malmö Bureau", "Genève Régie",
                                          "München OB",   "Göteborg Desk",   "Århus Remote", "Besançon Booth",
                                          "Córdoba Desk", "Düsseldorf Halle"};
const char* const kAccentedUnitSites[] = {"Studio Süd", "Rédaction", "Sportredaktion Köln", "Übertragungswagen"};

template <size_t N>
const char* pick(const char* const (&names)[N], size_t index) {
    return names[index % N];
}

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

}  // namespace

// ------------------------------------------------------------------------------------------------
// Seeding

CodecModel::CodecModel(int index, int64_t calendar_origin_s, bool has_accented_names, int channel_count)
    : index_(index),
      seed_(mix(static_cast<uint64_t>(index) * 0x2545F4914F6CDD1DULL)),
      calendar_origin_s_(calendar_origin_s),
      has_accented_names_(has_accented_names) {
    firmware_version_ = "4." + std::to_string(2 + index % 3) + "." + std::to_string(index % 7);
    node_id_ = mac_text(index, 0x01);
    build_ = 2100 + static_cast<unsigned>(index % 50);
    seed_codecs();
    seed_channels(channel_count > 0 ? std::min(channel_count, kMaxChannels) : 1 + index % 2);
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
        codecs_.push_back(
            {spec.id, spec.code, spec.mode, spec.name, spec.descr, spec.quality, spec.delay_ms, spec.bitrate});
    }
}

void CodecModel::seed_channels(int count) {
    for (int id = 1; id <= count; ++id) {
        Channel channel;
        channel.id = id;
        channel.descr = id == 1 ? "Program" : id == 2 ? "Talkback" : "Channel " + std::to_string(id);
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
    for (const SystemOptionSpec& spec : system_option_specs()) {
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
    const auto site = static_cast<size_t>(index_);
    sys.set("unit_name", std::string(has_accented_names_ ? pick(kAccentedUnitSites, site) : pick(kUnitSites, site)) +
                             " " + std::to_string(index_ + 1));
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
        for (const OptionSpec& spec : channel_option_specs()) {
            Message& option = add_option(channel_opts_, spec, "default");
            option.attributes().set("channel", channel.id);
            option.attributes().set("channel_opt", true);
            option.attributes().set("profile_opt", false);
        }
        for (const OptionSpec& spec : profile_option_specs()) {
            Message& option = add_option(channel_opts_, spec, "default");
            option.attributes().set("channel", channel.id);
            option.attributes().set("channel_opt", false);
            option.attributes().set("profile_opt", true);
        }
    }

    braidlink_group_.set_name("group");
    braidlink_group_.attributes().set("name", "tunnel");
    braidlink_group_.attributes().set("display_name", "Braidlink");
    for (const OptionSpec& spec : braidlink_option_specs()) {
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
    for (const OptionSpec& spec : profile_option_specs()) {
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
    const auto first_name = static_cast<size_t>(index_ * 3);
    for (int k = 0; k < book_count; ++k) {
        Peer peer;
        peer.id = next_peer_id_++;
        const size_t name = first_name + static_cast<size_t>(k);
        peer.name = has_accented_names_ ? pick(kAccentedPeerNames, name) : pick(kPeerNames, name);
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
        peers_[static_cast<size_t>(k)].connected_us = -static_cast<int64_t>(120 + mix(seed_ ^ 77u) % 3600) * 1000000;
        channels_[static_cast<size_t>(k)].peer_id = peers_[static_cast<size_t>(k)].id;
    }
}

void CodecModel::fill_address_book(size_t count) {
    for (size_t k = peers_.size(); k < std::min(count, kMaxPeers); ++k) {
        Peer peer;
        peer.id = next_peer_id_++;
        const char* const name = has_accented_names_ ? pick(kAccentedPeerNames, k) : pick(kPeerNames, k);
        peer.name = std::string(name) + " " + std::to_string(peer.id);
        peer.addr = "192.0.2." + std::to_string(k % 250 + 2) + ":" + std::to_string(9001 + k / 250);
        peer.password = "sim" + std::to_string(mix(seed_ + k) % 100000);
        peers_.push_back(std::move(peer));
    }
}

void CodecModel::seed_tunnel() {
    tunnel_sid_ = 7000 + index_;
    tunnel_addr_ = "198.51.100." + std::to_string(index_ % 250 + 1) + ":9100";
    const size_t links = 2 + static_cast<size_t>(index_ % 3);
    for (size_t i = 0; i < links; ++i) {
        tunnel_links_.push_back(
            {static_cast<int>(i) + 1, 1, kLinks[i].ldesc, kLinks[i].rdesc, kLinks[i].name, kLinks[i].base_delay_ms});
    }
    tunnel_tx_.is_auto = index_ % 2 == 0;
    tunnel_tx_.max_delay_ms = 300;
    tunnel_rx_.is_auto = true;
    tunnel_rx_.max_delay_ms = 400;
}

void CodecModel::seed_event_log() {
    const int64_t start = calendar_origin_s_ - 3600 - static_cast<int64_t>(mix(seed_ ^ 5u) % 1800);
    event_log_.add(start, "System started, firmware " + firmware_version_);
    event_log_.add(start + 4, "Network link up on eth0");
    if (directory_server_.attributes().get_bool("enabled", false)) {
        event_log_.add(start + 9, "Registered with directory server dir.example.net");
    }
    if (is_tunnel_up()) event_log_.add(start + 12, "Braidlink tunnel established");
    for (const Peer& peer : peers_) {
        if (peer.channel == 0) continue;
        const int64_t at = calendar_origin_s_ + peer.connected_us / 1000000;
        event_log_.add(at, "Connected to " + peer.name + " on " + find_channel(peer.channel)->descr);
    }
    event_log_.sort_by_stamp();
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
