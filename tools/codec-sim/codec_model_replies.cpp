// CodecModel's requests and the content of its replies: handle_request, which answers the fetches
// here and hands each command to its handler (codec_model_calls.cpp, codec_model_settings.cpp),
// the lists and settings the replies carry, and the pushes that follow a change.
#include "tools/codec-sim/codec_model.h"

#include <algorithm>

#include "tools/codec-sim/request_checks.h"
#include "tools/codec-sim/sim_numbers.h"

using codec_sim::fail;
using codec_sim::kNotFound;
using codec_sim::parse_int;

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

// ------------------------------------------------------------------------------------------------
// Pushes

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
