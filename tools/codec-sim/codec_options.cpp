#include "tools/codec-sim/codec_options.h"

#include <iterator>
#include <string>

#include "ipc/base/ipc_string.h"

namespace codec_sim {

namespace {

const SystemOptionSpec kSystemOptions[] = {
    {{"unit_name", "Unit Name", "Name of this unit, shown wherever the unit is listed.", "string", "", false, "Codec",
      0, 0, nullptr},
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
    {{"default_peer", "Auto-Connect Peer", "Peer connected by itself after start-up.", "peer", "", false, "0", 0, 0,
      nullptr},
     "system",
     "System",
     ""},
    {{"default_codec", "Default Encoder", "Encoder used where a profile names none.", "codec", "", false, "1", 0, 0,
      nullptr},
     "system",
     "System",
     ""},
    {{"auto_reconnect", "Auto Reconnect", "Reconnect a dropped connection by itself.", "bool", "", false, "true", 0, 0,
      nullptr},
     "system",
     "System",
     ""},
    {{"reconnect_delay", "Reconnect Delay", "Wait before a dropped connection is made again.", "int", "s", true, "10",
      1, 300, nullptr},
     "system",
     "System",
     ""},
    {{"dhcp", "DHCP", "Take the address from a DHCP server.", "bool", "", false, "true", 0, 0, nullptr},
     "network",
     "Network",
     "network"},
    {{"ip_addr", "IP Address", "Static address, used while DHCP is off.", "string", "", false, "", 0, 0, nullptr},
     "network",
     "Network",
     "network"},
    {{"netmask", "Netmask", "Static netmask, used while DHCP is off.", "string", "", false, "255.255.255.0", 0, 0,
      nullptr},
     "network",
     "Network",
     "network"},
    {{"gateway", "Gateway", "Static gateway, used while DHCP is off.", "string", "", false, "", 0, 0, nullptr},
     "network",
     "Network",
     "network"},
    {{"input_gain", "Input Gain", "Gain of the analogue inputs.", "int", "dB", false, "0", -20, 20, nullptr},
     "audio",
     "Audio",
     "audio"},
    {{"output_level", "Output Level", "Nominal level of the analogue outputs.", "select", "", false, "4", 0, 0,
      "+4 dBu=4;-10 dBV=-10"},
     "audio",
     "Audio",
     "audio"},
    {{"headphone_mix", "Headphone Mix", "Share of the return feed in the headphones.", "int", "%", true, "50", 0, 100,
      nullptr},
     "audio",
     "Audio",
     "audio"},
    {{"enabled", "Enabled", "Register with the directory server.", "bool", "", false, "true", 0, 0, nullptr},
     "directoryServer",
     "Directory Server",
     ""},
    {{"server", "Server", "Host name of the directory server.", "string", "", false, "dir.example.net", 0, 0, nullptr},
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

const OptionSpec kChannelOptions[] = {
    {"port", "UDP Port", "Local UDP port of the audio stream.", "int", "", false, "9000", 1024, 65535, nullptr},
    {"dscp", "DSCP", "Traffic class of the audio packets.", "select", "", false, "46", 0, 0,
     "Best Effort=0;AF41=34;EF=46"},
    {"ttl", "TTL", "Time to live of the audio packets.", "int", "", true, "64", 1, 255, nullptr},
};

const OptionSpec kProfileOptions[] = {
    {"encoder", "Encoder", "Audio coding sent in this direction.", "codec", "", false, "1", 0, 0, nullptr},
    {"frames", "Frames per Packet", "Audio frames carried by each packet.", "int", "frames", false, "2", 1, 8, nullptr},
    {"fec", "Forward Error Correction", "Send redundant packets that repair losses.", "bool", "", false, "false", 0, 0,
     nullptr},
    {"delay_mode", "Delay Mode", "How the receive buffer sizes itself.", "select", "", false, "auto", 0, 0,
     "Automatic=auto;Fixed=fixed"},
    {"min_delay", "Minimum Delay", "Smallest receive buffer.", "int", "ms", true, "60", 10, 2000, nullptr},
};

const OptionSpec kBraidlinkOptions[] = {
    {"enabled", "Tunnel", "Carry the audio through the bonded tunnel.", "bool", "", false, "true", 0, 0, nullptr},
    {"server", "Tunnel Server", "Host name of the tunnel server.", "string", "", false, "tunnel.example.net", 0, 0,
     nullptr},
    {"port", "Tunnel Port", "UDP port of the tunnel server.", "int", "", true, "9100", 1, 65535, nullptr},
    {"mode", "Mode", "How the links share the traffic.", "select", "", false, "bond", 0, 0,
     "Bonded=bond;Redundant=redundant;Failover=failover"},
    {"encrypt", "Encryption", "Encrypt the tunnel traffic.", "bool", "", false, "true", 0, 0, nullptr},
    {"max_links", "Links", "Most network links used at once.", "int", "", true, "3", 1, 4, nullptr},
};

}  // namespace

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

const std::vector<SystemOptionSpec>& system_option_specs() {
    static const std::vector<SystemOptionSpec> kSpecs(std::begin(kSystemOptions), std::end(kSystemOptions));
    return kSpecs;
}

const std::vector<OptionSpec>& channel_option_specs() {
    static const std::vector<OptionSpec> kSpecs(std::begin(kChannelOptions), std::end(kChannelOptions));
    return kSpecs;
}

const std::vector<OptionSpec>& profile_option_specs() {
    static const std::vector<OptionSpec> kSpecs(std::begin(kProfileOptions), std::end(kProfileOptions));
    return kSpecs;
}

const std::vector<OptionSpec>& braidlink_option_specs() {
    static const std::vector<OptionSpec> kSpecs(std::begin(kBraidlinkOptions), std::end(kBraidlinkOptions));
    return kSpecs;
}

}  // namespace codec_sim
