// CodecModel's peers and calls: connecting and disconnecting a peer on a channel, and the
// address book's additions, edits and removals.
#include "tools/codec-sim/codec_model.h"

#include <algorithm>

#include "tools/codec-sim/request_checks.h"
#include "tools/codec-sim/sim_numbers.h"

using codec_sim::check_lengths;
using codec_sim::fail;
using codec_sim::kBadRequest;
using codec_sim::kConflict;
using codec_sim::kNotFound;
using codec_sim::parse_int;

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
    const auto ring =
        std::find_if(ringing_.begin(), ringing_.end(), [id](const Ringing& ringing) { return ringing.peer_id == id; });
    const bool is_ringing = ring != ringing_.end();  // its far end has yet to answer
    if (is_ringing && is_ringing_anew_) {
        ring->answer_us = now_us + answer_after_us_;
        add_log(now_us, "Calling " + peer->name);
        return;
    }
    if (!is_ringing && peer->is_directory && !peer->is_directory_online) {
        fail(reply, kConflict, "connect: " + peer->name + " is offline");
        add_log(now_us, "Connect to " + peer->name + " failed: peer offline");
        return;
    }
    Channel* channel = free_channel_for(*peer);
    if (!channel) {
        fail(reply, kConflict, "connect: no free channel for " + peer->name);
        add_log(now_us, "Connect to " + peer->name + " failed: no free channel");
        return;
    }
    // Another connect of a ringing peer changes nothing while a channel is free.
    if (is_ringing) return;
    if (answer_after_us_ > 0) {
        ringing_.push_back({id, now_us + answer_after_us_});
        channel->ringing_peer_id = id;
        add_log(now_us, "Calling " + peer->name);
        return;
    }
    bring_up(*peer, *channel, now_us);
}

CodecModel::Channel* CodecModel::free_channel_for(const Peer& peer) {
    if (const Message* profile = profile_for(peer)) {
        Channel* wanted = find_channel(profile->get_child("settings", 0).attributes().get_int("channel", 0));
        if (wanted && wanted->peer_id == 0 && wanted->ringing_peer_id == 0) return wanted;
    }
    for (Channel& channel : channels_) {
        if (channel.peer_id == 0 && channel.ringing_peer_id == 0) return &channel;
    }
    return nullptr;
}

void CodecModel::bring_up(Peer& peer, Channel& channel, int64_t now_us) {
    channel.peer_id = peer.id;
    peer.channel = channel.id;
    peer.connected_us = now_us;
    add_log(now_us, "Connected to " + peer.name + " on " + channel.descr);
    is_peer_list_changed_ = true;
}

bool CodecModel::answer_ringing(int64_t now_us) {
    bool is_any_up = false;
    for (auto ring = ringing_.begin(); ring != ringing_.end();) {
        if (ring->answer_us > now_us) {
            ++ring;
            continue;
        }
        const int peer_id = ring->peer_id;
        ring = ringing_.erase(ring);
        Channel* channel = ringing_channel_of(peer_id);
        Peer* peer = find_peer(peer_id);
        if (!channel) continue;
        channel->ringing_peer_id = 0;
        if (!peer || peer->channel != 0) continue;
        bring_up(*peer, *channel, now_us);
        is_any_up = true;
    }
    return is_any_up;
}

void CodecModel::stop_ringing(int peer_id) {
    ringing_.erase(std::remove_if(ringing_.begin(), ringing_.end(),
                                  [peer_id](const Ringing& ring) { return peer_id == 0 || ring.peer_id == peer_id; }),
                   ringing_.end());
    for (Channel& channel : channels_) {
        if (peer_id == 0 || channel.ringing_peer_id == peer_id) channel.ringing_peer_id = 0;
    }
}

CodecModel::Channel* CodecModel::ringing_channel_of(int peer_id) {
    for (Channel& channel : channels_) {
        if (channel.ringing_peer_id == peer_id) return &channel;
    }
    return nullptr;
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
        stop_ringing(0);
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
    if (panel_call_after_stop_us_ > 0 && ringing_channel_of(id)) {
        panel_calls_.push_back({id, now_us + panel_call_after_stop_us_});
    }
    stop_ringing(id);
    disconnect_peer(*peer, now_us);
}

bool CodecModel::place_panel_calls(int64_t now_us) {
    bool is_any_up = false;
    for (auto call = panel_calls_.begin(); call != panel_calls_.end();) {
        if (call->answer_us > now_us) {
            ++call;
            continue;
        }
        Message connect;
        connect.set_name("connect");
        connect.attributes().set("id", call->peer_id);
        Message unseen_reply;  // a panel's call answers nobody
        do_connect(connect, now_us, unseen_reply);
        is_any_up = is_any_up || is_peer_list_changed_;
        call = panel_calls_.erase(call);
    }
    return is_any_up;
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
    const bool is_edit = a.has("name") || a.has("addr") || a.has("password") || a.has("unit") || a.has("bdlink");
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
    stop_ringing(id);
    disconnect_peer(*peer, now_us);
    add_log(now_us, "Peer removed: " + peer->name);
    peers_.erase(peers_.begin() + (peer - peers_.data()));
    if (sys_options_.attributes().get_string("default_peer", "0") == std::to_string(id)) {
        sys_options_.attributes().set("default_peer", "0");
        is_sys_options_changed_ = true;
    }
    is_peer_list_changed_ = true;
}
