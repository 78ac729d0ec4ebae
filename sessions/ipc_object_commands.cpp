// IPCObject's command set: the fetch requests, and the operator's and the scheduler's commands,
// among them the two that take more than one request: the copy of a profile from another codec
// (its new id first, then its settings) and the connect that assigns a profile first. The metering
// switch is with the subscriptions (ipc_object_startup.cpp).
#include "sessions/ipc_object.h"

#include <QDebug>

#include <algorithm>
#include <mutex>
#include <utility>

#include "sessions/message_text.h"
#include "sessions/session_requests.h"

using session_requests::AskedRequest;
using session_requests::event_log_request;
using session_requests::kTunnelPath;
using session_requests::peer_settings_request;
using session_requests::Request;
namespace wire = session_requests;

// ------------------------------------------------------------------------------------------------
// Fetch requests

void IPCObject::cmd_get_channel_list() {
    send_own(Request(wire::kGetChannelList));
}

void IPCObject::cmd_get_channel_opts() {
    send_own(Request(wire::kGetChannelOpts));
}

void IPCObject::cmd_get_profile_list() {
    send_own(Request(wire::kGetProfileList));
}

void IPCObject::cmd_get_codec_list() {
    send_own(Request(wire::kGetCodecList));
}

void IPCObject::cmd_get_peer_list() {
    send_own(Request(wire::kGetPeerList));
}

void IPCObject::cmd_get_directory_server() {
    send_own(Request(wire::kGetDirectoryServer));
}

void IPCObject::cmd_get_sys_options() {
    send_own(Request(wire::kGetSysOptions));
}

void IPCObject::cmd_get_version_slot() {
    send_own(Request(wire::kGetVersion));
}

void IPCObject::cmd_get_braidlink_settings() {
    Request request(wire::kGetBraidlinkSettings);
    request.attributes().set("path", kTunnelPath);
    send_own(request);
}

void IPCObject::cmd_get_tunnel_status() {
    Request request(wire::kGetTunnelStatus);
    request.attributes().set("path", kTunnelPath);
    send_own(request);
}

void IPCObject::cmd_get_event_log() {
    send_own(event_log_request());
}

// ------------------------------------------------------------------------------------------------
// Commands

bool IPCObject::cmd_connect(const QString& id) {
    AskedRequest request(wire::kConnect);
    request.attributes().set("id", id);
    return send_command(request, refusal_note(Asker::kProgram, FailureEffect::kNotConnected, {id.toInt()}),
                        Asker::kProgram);
}

bool IPCObject::cmd_disconnect(int id, Asker asker) {
    AskedRequest request(wire::kDisconnect);
    request.attributes().set("id", id);
    if (!send_command(request, refusal_note(asker, FailureEffect::kNotDisconnected, {id}), asker)) return false;
    if (asker == Asker::kOperator) emit operatorDisconnected(uuid, id);
    return true;
}

void IPCObject::cmd_get_event_log_noreply() {
    AskedRequest request(wire::kClearEventLog);
    request.attributes().set("clear", true);
    request.attributes().set("detail", false);
    send_command(request);
}

void IPCObject::cmd_set_sys_options(const Message& options) {
    send_command(AskedRequest(options, wire::kSetSysOptions));
}

void IPCObject::cmd_set_unit_name(const QString& name) {
    AskedRequest request(wire::kSetSysOptions);
    request.attributes().set("unit_name", name);
    send_command(request);
}

bool IPCObject::cmd_set_profile(const Message& profile) {
    return send_command(AskedRequest(profile, wire::kSetProfile));
}

void IPCObject::cmd_add_new_profile() {
    AskedRequest request(wire::kNewProfile);
    request.add_child("settings").attributes().set("name", "New Profile...");
    send_command(request);
}

void IPCObject::cmd_copy_profile(int id, const QString& name) {
    AskedRequest request(wire::kCopyProfile);
    request.attributes().set("id", id);
    request.attributes().set("name", name);
    // The id names the profile copied in a refusal.
    send_command(request, refusal_note(Asker::kOperator, FailureEffect::kNone, {id}));
}

bool IPCObject::cmd_delete_profile(int id) {
    AskedRequest request(wire::kDeleteProfile);
    request.attributes().set("id", id);
    // The id names the profile in a refusal.
    return send_command(request, refusal_note(Asker::kOperator, FailureEffect::kNone, {id}));
}

bool IPCObject::cmd_add_peer(const QString& name, const QString& addr, const QString& password) {
    AskedRequest request(wire::kAddPeer);
    request.attributes().set("name", name);
    request.attributes().set("addr", addr);
    request.attributes().set("password", password);
    return send_command(request, {0, QString(), {}, name});
}

bool IPCObject::cmd_add_peer_bdlink(const QString& name, const QString& addr, const QString& password,
                                    const QString& unit) {
    AskedRequest request(wire::kAddPeer);
    request.attributes().set("name", name);
    request.attributes().set("addr", addr);
    request.attributes().set("password", password);
    request.attributes().set("use_bdlink", true);
    request.attributes().set("unit", unit);
    return send_command(request, {0, QString(), {}, name});
}

bool IPCObject::cmd_add_peer_meta(const Message& peer) {
    // Peer lists name these fields in two ways; a copy must carry them whichever the codec used.
    const Message::Attributes& source = peer.attributes();
    // With a seq, so that a refusal is named "addPeer" even while another seq-less request waits.
    AskedRequest request(wire::kAddPeer);
    Message::Attributes& copied = request.attributes();
    copied.set("addr", source.get_string("addr", ""));
    copied.set("password", source.get_string("password", source.get_string("pw", "")));
    copied.set("name", source.get_string("name", ""));
    copied.set("unit", source.get_string("unit", ""));
    copied.set("use_bdlink", source.get_bool("use_bdlink", source.get_bool("bdlink", false)));
    return send_command(request, {0, QString(), {}, text_of(source.get_string("name", ""))});
}

bool IPCObject::cmd_remove_peer(int id) {
    AskedRequest request(wire::kRemovePeer);
    request.attributes().set("id", id);
    return send_command(request, refusal_note(Asker::kOperator, FailureEffect::kNone, {id}));
}

void IPCObject::cmd_set_peer_settings(int id, int profile) {
    send_command(peer_settings_request(id, profile));
}

bool IPCObject::cmd_connect_peer(const QString& peerId, const QString& profile) {
    int peer_profile = 0;
    QString default_id;
    {
        // Copied out: the sends below must not run under the session mutex.
        std::lock_guard<SessionMutex> lock(session_mutex());
        const auto found = std::find_if(allPeers.cbegin(), allPeers.cend(),
                                        [&](const PeerMetaPtr& peer) { return peer->id == peerId; });
        if (found == allPeers.cend()) return false;
        peer_profile = (*found)->profile;
        default_id = defaultProfileId;
    }
    bool is_profile_number = false;
    const int wanted = profile.toInt(&is_profile_number, 10);
    bool is_peer_number = false;
    const int peer_key = peerId.toInt(&is_peer_number, 10);
    // A peer without a profile already connects with the unit's default one.
    const bool is_default_already = peer_profile == 0 && profile == default_id;
    if (is_profile_number && is_peer_number && wanted != peer_profile && !is_default_already) {
        // The call must not come up on the peer's stored profile: "connect" waits for the answer.
        return send_command(peer_settings_request(peer_key, wanted), {0, peerId, {}, QString()});
    }
    return send_operator_connect(peerId);
}

void IPCObject::connectAssignedPeer(const QString& peer) {
    // Only the operator's cmd_connect_peer waits for a profile.
    send_operator_connect(peer);
}

bool IPCObject::send_operator_connect(const QString& peer) {
    AskedRequest request(wire::kConnect);
    request.attributes().set("id", peer);
    if (!send_command(request, refusal_note(Asker::kOperator, FailureEffect::kNotConnected, {peer.toInt()}))) {
        return false;
    }
    emit operatorConnected(uuid, peer);
    return true;
}

bool IPCObject::cmd_disconnect_peer(Asker asker) {
    const AwaitedNote note = refusal_note(asker, FailureEffect::kNotDisconnected, {});
    if (!send_command(AskedRequest(wire::kDisconnect), note, asker)) return false;
    {
        std::lock_guard<SessionMutex> lock(session_mutex());
        peerStatsById.clear();
    }
    if (asker == Asker::kOperator) emit operatorDisconnected(uuid, -1);
    return true;
}

// ------------------------------------------------------------------------------------------------
// Profile copies

bool IPCObject::cmd_add_profile(const Message& profile) {
    if (profile.name() != "profile") {
        qWarning() << "cmd_add_profile: not a profile node:" << text_of(profile.name());
        return false;
    }
    if (!takesSubscriptions()) {
        // Its answer comes as a bare report, never as the reply the copy waits for: the empty
        // profile it makes would stay.
        qWarning() << "cmd_add_profile: a codec of the old protocol takes no profile copies";
        return false;
    }
    // Taken before the request goes: a codec that answers with one of these ids made no new profile.
    QSet<int> held_profiles = held_profile_ids();
    if (!send_command(AskedRequest(wire::kAddProfile))) return false;
    // The reply is delivered to this thread later, so the profile is queued before it can arrive.
    pending_profiles_.push_back({profile, std::move(held_profiles)});
    return true;
}

QSet<int> IPCObject::held_profile_ids() {
    QSet<int> ids = unlisted_copy_ids_;
    Message list;
    if (!getCachedMessage(QStringLiteral("profileList"), list)) return ids;
    const unsigned count = list.child_count("profile");
    for (unsigned i = 0; i < count; ++i) ids.insert(list.get_child("profile", i).attributes().get_int("id", 0));
    return ids;
}

void IPCObject::cb_resp_addProfile() {
    int id;
    {
        std::lock_guard<SessionMutex> lock(session_mutex());
        // A pushed or seq-less "addProfile" answers no copy: nothing queued, nothing emitted.
        if (added_profile_ids_.empty()) return;
        id = added_profile_ids_.front();
        added_profile_ids_.pop_front();
    }
    // Outside the lock: the callback sends.
    emit recvAddProfile(id);
}

void IPCObject::addProfileCallback(int id) {
    if (pending_profiles_.empty()) return;
    PendingCopy copy = std::move(pending_profiles_.front());
    pending_profiles_.pop_front();
    Message& profile = copy.profile;
    if (id <= 0) {
        qWarning() << "addProfile: the codec gave no new profile id; dropping the copy of"
                   << profile.attributes().get_qstring("name", QString());
        return;
    }
    if (copy.held_profiles.contains(id)) {
        // Written, and deleted after a refusal, it would be the codec's own profile, not the copy.
        qWarning() << "addProfile: the codec answered with the id" << id
                   << "of a profile it held; not writing the copy of"
                   << profile.attributes().get_qstring("name", QString());
        FailureEffect effect;
        effect.kind = FailureEffect::kCopyIdHeld;
        effect.asked = &wire::kAddProfile;
        const QString refused_as = QLatin1String(wire::kAddProfile.refused_as());
        effect.subjects.append(effect_subject(refused_as, id));
        emit requestFailed(uuid, refused_as, QString(), QString(), effect);
        return;
    }
    // The codec holds this id from now on, though no list it sent may show it yet: the copies still
    // awaiting their ids, and those sent before the next list, must not take it for a new profile.
    for (PendingCopy& later : pending_profiles_) later.held_profiles.insert(id);
    unlisted_copy_ids_.insert(id);
    AskedRequest write(std::move(profile), wire::kSetProfile);
    write.attributes().set("id", id);
    send_command(write, {id, QString(), {}, QString()});
}

void IPCObject::dropRefusedProfileCopy() {
    if (pending_profiles_.empty()) return;
    qWarning() << "addProfile refused: not writing the copy of"
               << pending_profiles_.front().profile.attributes().get_qstring("name", QString());
    pending_profiles_.pop_front();
}

void IPCObject::delete_copy_profile(int id) {
    AskedRequest request(wire::kDeleteCopyProfile);
    request.attributes().set("id", id);
    send_command(request);
}
