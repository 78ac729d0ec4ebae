#include "sessions/ipc_object.h"

#include <QDebug>
#include <QMetaMethod>
#include <QMetaObject>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/base/logger.h"
#include "platform/c_locale.h"
#include "sessions/iq_manager.h"
#include "sessions/lock_order.h"
#include "sessions/session_meta_types.h"

namespace {

IQCommonPooledApp* g_session_pool = nullptr;  // not owned; written once at start-up

constexpr char kTunnelPath[] = "netmgr.tunnel";

Message request(const char* name) {
    Message message;
    message.set_name(name);
    return message;
}

Message fetch(const char* name, const char* seq) {
    Message message = request(name);
    message.attributes().set("seq", seq);
    return message;
}

Message event_log_request() {
    Message message = fetch("getEventLog", "eventLog");
    message.attributes().set("clear", false);
    message.attributes().set("detail", true);
    return message;
}

Message metering_on_request(uint32_t interval) {
    Message message = request("monitor");
    message.attributes().set("metering", true);
    message.attributes().set("meterInterval", interval);
    return message;
}

Message monitor_request(uint32_t interval) {
    Message message = request("monitor");
    message.attributes().set("peerStats", true);
    message.attributes().set("queue", false);
    message.attributes().set("channelStats", true);
    message.attributes().set("metering", true);
    message.attributes().set("meterInterval", interval);
    return message;
}

Message peer_settings_request(int id, int profile) {
    Message message = fetch("setPeerSettings", "setPeerSettings");
    message.attributes().set("id", id);
    message.attributes().set("profile", profile);
    return message;
}

Message metering_off_request() {
    Message message = request("monitor");
    message.attributes().set("metering", false);
    return message;
}

// " name1 name2 ...": the names of an audio event line, each after one blank.
QString audio_event_names(const QStringList& names) {
    QString text;
    for (const QString& name : names) text += QLatin1Char(' ') + name;
    return text;
}

// The first few of `ids` for a warning, which a hostile list must not make arbitrarily long.
QString first_ids(const QStringList& ids) {
    constexpr int kShown = 8;
    QString text = ids.mid(0, kShown).join(QLatin1Char(' '));
    if (ids.size() > kShown) text += QStringLiteral(" ...");
    return text;
}

// A "subject" child per id: the peers or profiles a failure concerns.
void add_subjects(Message& node, const QList<int>& ids) {
    for (const int id : ids) node.add_child("subject").attributes().set("id", id);
}

QStringList identity_of(const PeerMetaPtr& peer) {
    return peer->identity();
}

QStringList identity_of(const ProfileInfo& profile) {
    return profile.identity();
}

// Settles `renames` with `list`, the session's peers or profiles, read under `mutex`. Run once
// every view has followed the list.
template <typename List>
void settle_renames(SentRenames& renames, const List& list, SessionMutex& mutex) {
    if (renames.isEmpty()) return;
    QList<QStringList> listed;
    std::lock_guard<SessionMutex> lock(mutex);
    for (const auto& each : list) listed << identity_of(each);
    renames.settle(listed);
}

QString text_of(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size()));
}

}  // namespace

const std::vector<IPCObject::Subscription>& IPCObject::subscriptions() {
    static const std::vector<Subscription> kSubscriptions = {
        {"peer_stats", 0},
        {"channel_stats", 0},
        {"tun_conns", 0},
        {"tun_stats", 0},
        {"power", 0},
        {"version", 0},
        {"metering", kMeterIntervalMs},
        {"cfgStatus:netmgr.tunnel", 0},
        {"cfgData:netmgr.tunnel.*", 0},
    };
    return kSubscriptions;
}

IPCObject::IPCObject(const QString& name, QUuid instance_uuid)
    : IQEndpointClient(name, nullptr), uuid(instance_uuid), tunnelInfo(this) {
    set_endpoint_timeout();
    // Not placed yet, so no manager lock to take; setConnection replaces it.
    set_password(kDefaultPassword);
    if (uuid.isNull()) throw std::logic_error("IPC ZERO UUID NOT ALOWED");

    connect(this, &IQEndpointClient::connecting, this, &IPCObject::changedState_connecting);
    connect(this, &IQEndpointClient::connected, this, &IPCObject::changedState_connected);
    connect(this, &IQEndpointClient::disconnected, this, &IPCObject::changedState_disconnected);
    connect(this, &IQEndpointClient::wrong_password, this, &IPCObject::changedState_wrong_password);
    connect(this, &IQEndpointClient::ready, this, &IPCObject::changedState_ready);
    connect(this, &IQEndpointClient::finalRequiredMessageReceived, this, &IPCObject::allMessagesPresent);
    connect(&pollTimer, &QTimer::timeout, this, &IPCObject::eventLogTimerExpire);
    deviceLog.placeAmong(&eventLog);
    connect(this, &IPCObject::recvAddProfile, this, &IPCObject::addProfileCallback);
}

IPCObject::~IPCObject() {
    // Before any member goes: a session deleted other than through markForDeletion must not be
    // reached by its loop while it is half destroyed.
    leave_placement();
}

void IPCObject::setSessionPool(IQCommonPooledApp* pool) {
    g_session_pool = pool;
}

IQCommonPooledApp* IPCObject::sessionPool() {
    return g_session_pool;
}

// ------------------------------------------------------------------------------------------------
// Connection and lifetime

QString IPCObject::addressText(const QString& host, int port) {
    if (port < 1 || port > 65535) return {};
    const bool is_bare_ipv6 = host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('['));
    const QString bracketed = is_bare_ipv6 ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return bracketed + QLatin1Char(':') + QString::number(port);
}

void IPCObject::setAddress(const QString& new_host, int new_port) {
    host = new_host;
    port = new_port;
}

void IPCObject::setConnection(const QString& new_host, int new_port, const QString& password) {
    setAddress(new_host, new_port);
    set_password(password.toUtf8().toStdString());
    reconnectIPC();
}

void IPCObject::reconnectIPC() {
    const QString address = addressText(host, port);
    if (address.isEmpty()) {
        qWarning() << "reconnect: port" << port << "of" << host << "is outside 1-65535; not connecting";
        return;
    }
    IQManager* manager = ipcManager();
    if (!manager) {
        qCritical("reconnect: no IPC manager for this IPCObject!");
        return;
    }
    // Made here, under the manager lock, rather than queued to the worker thread: a queued connect
    // would overtake a disconnectIPC() asked for after it.
    QMetaObject::invokeMethod(
        manager, "connect_client", Qt::DirectConnection, Q_ARG(QString, QStringLiteral("xmls")),
        Q_ARG(QString, QStringLiteral("stream")), Q_ARG(QString, address), Q_ARG(QString, uuid.toString()));
}

void IPCObject::disconnectIPC() {
    IQManager* manager = ipcManager();
    if (!manager) {
        qCritical("disconnectIPC: no IPC manager for this IPCObject!");
        return;
    }
    manager->IPCManager::disconnect(uuid.toString().toStdString());
}

void IPCObject::scheduleReconnect(int delayMs) {
    if (markedForDeletion) return;
    if (delayMs > 0) {
        QTimer::singleShot(delayMs, this, &IPCObject::doReconnect);
    } else if (delayMs == 0) {
        emit reconnect(uuid);
        reconnectIPC();
    }
}

void IPCObject::doReconnect() {
    if (markedForDeletion) return;
    emit reconnect(uuid);
    reconnectIPC();
}

void IPCObject::markForDeletion() {
    if (markedForDeletion) return;
    qWarning() << "MARK FOR DELETION" << uuid;
    markedForDeletion = true;
    pollTimer.stop();
    leave_placement();
    // No loop reaches the session any more: what it queued before is dropped, and nothing the
    // session would still emit (the rest of a slot that marked it, say) reaches a receiver.
    forget_queued_calls();
    blockSignals(true);
    deleteLater();
}

bool IPCObject::send(const Message& request) {
    return send_noting(request, {});
}

bool IPCObject::send_noting(const Message& request, const AwaitedNote& note) {
    AwaitedAnswers<AwaitedNote>* awaited = awaited_answers(request.attributes().get_string("seq", ""));
    if (awaited) {
        std::lock_guard<SessionMutex> lock(session_mutex());
        awaited->add(request.attributes().get_int("id", 0), note);
    }
    if (send_locked(request, note.refused)) return true;
    if (awaited) {
        std::lock_guard<SessionMutex> lock(session_mutex());
        awaited->drop_newest();
    }
    return false;
}

AwaitedAnswers<IPCObject::AwaitedNote>* IPCObject::awaited_answers(const std::string& seq) {
    if (seq == "setProfile") return &profile_writes_;
    if (seq == "deleteProfile") return &copy_deletions_;
    if (seq == "setPeerSettings") return &peer_assignments_;
    return nullptr;
}

IPCObject::AwaitedNote IPCObject::refusal_note(Asker asker, FailureEffect::Kind undone, const QList<int>& ids) {
    // The program's own requests leave nothing of the operator's undone, but name their ids, so
    // that the scheduler hears which of its disconnects a codec refused.
    return {0, QString(), {asker == Asker::kOperator ? undone : FailureEffect::kNone, ids}};
}

bool IPCObject::send_if_ready(const Message& request, const AwaitedNote& note) {
    return send_all_if_ready(&request, 1, note);
}

bool IPCObject::send_all_if_ready(const std::vector<Message>& requests) {
    return send_all_if_ready(requests.data(), requests.size(), {});
}

bool IPCObject::send_all_if_ready(const Message* requests, size_t count, const AwaitedNote& note) {
    lock_order::assert_no_session_mutex_held("IPCObject::send_all_if_ready");
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    if (state() != READY) return false;
    // A READY session is placed on its manager, so each hand-over goes through, or none does.
    bool is_sent = true;
    for (size_t i = 0; i < count; ++i) is_sent = send_noting(requests[i], note) && is_sent;
    return is_sent;
}

bool IPCObject::takesSubscriptions() {
    // The protocol version is written by the socket loop under the manager lock.
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    return version() != 0;
}

bool IPCObject::send_command(const Message& request, const AwaitedNote& note) {
    if (send_if_ready(request, note)) return true;
    qWarning().noquote() << "session" << uuid.toString() << "is not ready: dropping"
                         << text_of(request.name());
    return false;
}

void IPCObject::traceMessage(const Message& message) const {
    if (ipc_logger().level(0) > 2) message.dump(3);
}

// ------------------------------------------------------------------------------------------------
// Reply-cache reads

bool IPCObject::getCachedMessage(const QString& name, Message& out) {
    std::lock_guard<SessionMutex> lock(session_mutex());
    return cached_message(name, out);
}

Message IPCObject::expectedMessage(const QString& name) {
    Message message;
    if (!getCachedMessage(name, message)) qWarning() << "Missing expected message: " << name;
    return message;
}

namespace {

bool find_child_by_id(const Message& list, const char* child_name, const QString& id, Message& out) {
    const std::string wanted = id.toStdString();
    for (int row = 0; row < list.size(); ++row) {
        const Message& child = list.get_child(row);
        if (child.name() == child_name && child.attributes().get_string("id", "") == wanted) {
            out = child;
            return true;
        }
    }
    return false;
}

}  // namespace

bool IPCObject::findProfile(const QString& id, Message& out) {
    Message list;
    return getCachedMessage(QStringLiteral("profileList"), list) &&
           find_child_by_id(list, "profile", id, out);
}

bool IPCObject::findPeer(const QString& id, Message& out) {
    Message list;
    return getCachedMessage(QStringLiteral("peerList"), list) && find_child_by_id(list, "peer", id, out);
}

QString IPCObject::unitName() {
    Message options;
    if (!getCachedMessage(QStringLiteral("sysOptions"), options)) return {};
    return options.attributes().get_qstring("unit_name", QStringLiteral("unknown"));
}

QList<PeerMetaPtr> IPCObject::activePeerList() {
    std::lock_guard<SessionMutex> lock(session_mutex());
    return activePeers;
}

unsigned int IPCObject::productBuild() {
    Message version;
    if (!getCachedMessage(QStringLiteral("version"), version)) return 1;
    return version.attributes().get_uint("build", 1);
}

// ------------------------------------------------------------------------------------------------
// Fetch requests

void IPCObject::cmd_get_channel_list() {
    send(fetch("getChannelList", "channelList"));
}

void IPCObject::cmd_get_channel_opts() {
    send(fetch("getChannelOpts", "channelOpts"));
}

void IPCObject::cmd_get_profile_list() {
    send(fetch("getProfileList", "profileList"));
}

void IPCObject::cmd_get_codec_list() {
    send(fetch("getCodecList", "codecList"));
}

void IPCObject::cmd_get_peer_list() {
    send(fetch("getPeerList", "peerList"));
}

void IPCObject::cmd_get_directory_server() {
    send(fetch("getDirectoryServer", "directoryServer"));
}

void IPCObject::cmd_get_sys_options() {
    send(fetch("getSysOptions", "sysOptions"));
}

void IPCObject::cmd_get_version_slot() {
    send(fetch("getVersion", "version"));
}

void IPCObject::cmd_get_braidlink_settings() {
    Message message = fetch("cfgDescribe", "braidlinkSettings");
    message.attributes().set("path", kTunnelPath);
    send(message);
}

void IPCObject::cmd_get_tunnel_status() {
    Message message = fetch("cfgGetStatus", "tunnelStatus");
    message.attributes().set("path", kTunnelPath);
    send(message);
}

void IPCObject::cmd_get_event_log() {
    send(event_log_request());
}

// ------------------------------------------------------------------------------------------------
// Commands

bool IPCObject::cmd_connect(const QString& id) {
    Message message = request("connect");
    message.attributes().set("id", id);
    return send_command(message, refusal_note(Asker::kProgram, FailureEffect::kNotConnected, {id.toInt()}));
}

bool IPCObject::cmd_disconnect(int id, Asker asker) {
    Message message = request("disconnect");
    message.attributes().set("id", id);
    return send_command(message, refusal_note(asker, FailureEffect::kNotDisconnected, {id}));
}

void IPCObject::cmd_get_event_log_noreply() {
    Message message = request("getEventLog");
    message.attributes().set("clear", true);
    message.attributes().set("detail", false);
    send_command(message);
}

void IPCObject::cmd_set_sys_options(const Message& options) {
    Message message = options;
    message.set_name("setSysOptions");
    message.attributes().set("seq", "setSysOptions");
    send_command(message);
}

void IPCObject::cmd_set_unit_name(const QString& name) {
    Message message = fetch("setSysOptions", "setSysOptions");
    message.attributes().set("unit_name", name);
    send_command(message);
}

bool IPCObject::cmd_set_profile(const Message& profile) {
    Message message = profile;
    message.set_name("setProfile");
    message.attributes().set("seq", "setProfile");
    return send_command(message);
}

void IPCObject::cmd_add_new_profile() {
    Message message = request("addProfile");
    message.add_child("settings").attributes().set("name", "New Profile...");
    send_command(message);
}

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
    if (!send_command(fetch("addProfile", "addProfile"))) return false;
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
        qWarning() << "addProfile: the codec answered with the id" << id << "of a profile it held; not writing the copy of"
                   << profile.attributes().get_qstring("name", QString());
        FailureEffect effect;
        effect.kind = FailureEffect::kCopyIdHeld;
        effect.subjects.append(effect_subject(effect.kind, id));
        emit requestFailed(uuid, QStringLiteral("addProfile"), QString(), QString(), effect);
        return;
    }
    // The codec holds this id from now on, though no list it sent may show it yet: the copies still
    // awaiting their ids, and those sent before the next list, must not take it for a new profile.
    for (PendingCopy& later : pending_profiles_) later.held_profiles.insert(id);
    unlisted_copy_ids_.insert(id);
    profile.set_name("setProfile");
    profile.attributes().set("seq", "setProfile");
    profile.attributes().set("id", id);
    send_command(profile, {id, QString(), {}});
}

void IPCObject::cmd_copy_profile(int id, const QString& name) {
    Message message = request("copyProfile");
    message.attributes().set("id", id);
    message.attributes().set("name", name);
    send_command(message);
}

void IPCObject::cmd_delete_profile(int id) {
    Message message = request("deleteProfile");
    message.attributes().set("id", id);
    send_command(message);
}

bool IPCObject::cmd_add_peer(const QString& name, const QString& addr, const QString& password) {
    Message message = fetch("addPeer", "addPeer");
    message.attributes().set("name", name);
    message.attributes().set("addr", addr);
    message.attributes().set("password", password);
    return send_command(message);
}

bool IPCObject::cmd_add_peer_bdlink(const QString& name, const QString& addr, const QString& password,
                                    const QString& unit) {
    Message message = fetch("addPeer", "addPeer");
    message.attributes().set("name", name);
    message.attributes().set("addr", addr);
    message.attributes().set("password", password);
    message.attributes().set("use_bdlink", true);
    message.attributes().set("unit", unit);
    return send_command(message);
}

bool IPCObject::cmd_add_peer_meta(const Message& peer) {
    // Peer lists name these fields in two ways; a copy must carry them whichever the codec used.
    const Message::Attributes& source = peer.attributes();
    // With a seq, so that a refusal is named "addPeer" even while another seq-less request waits.
    Message message = fetch("addPeer", "addPeer");
    message.attributes().set("addr", source.get_string("addr", ""));
    message.attributes().set("password", source.get_string("password", source.get_string("pw", "")));
    message.attributes().set("name", source.get_string("name", ""));
    message.attributes().set("unit", source.get_string("unit", ""));
    message.attributes().set("use_bdlink", source.get_bool("use_bdlink", source.get_bool("bdlink", false)));
    return send_command(message);
}

void IPCObject::cmd_remove_peer(int id) {
    Message message = request("removePeer");
    message.attributes().set("id", id);
    send_command(message);
}

void IPCObject::cmd_set_peer_settings(int id, int profile) {
    send_command(peer_settings_request(id, profile));
}

void IPCObject::cmd_metering_on() {
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    const uint32_t interval = metering_interval_ms_;
    if (version() != 0) {
        // The codec's own switch; its subscription then says how often.
        send_command(metering_on_request(interval != 0 ? interval : kMeterIntervalMs));
    } else if (interval != 0) {
        // A legacy codec reports from the moment "monitor" switches it on.
        send_command(metering_on_request(interval));
    }
    meteringOn = true;
    subscribe_metering();
}

void IPCObject::cmd_metering_off() {
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    send_command(metering_off_request());
    meteringOn = false;
    subscribe_metering();
}

void IPCObject::setMeteringInterval(uint32_t interval_ms) {
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    if (metering_interval_ms_ == interval_ms) return;
    metering_interval_ms_ = interval_ms;
    if (!meteringOn) return;
    if (version() != 0) {
        subscribe_metering();
    } else if (is_logged_in()) {
        send(interval_ms != 0 ? metering_on_request(interval_ms) : metering_off_request());
    }
}

void IPCObject::subscribe_metering() {
    if (version() == 0) return;  // a legacy codec meters as "monitor" tells it
    if (!is_logged_in()) {
        subscriptions_.erase("metering");
    } else if (meteringOn && metering_interval_ms_ != 0) {
        subscribe("metering", metering_interval_ms_);
    } else {
        unsubscribe("metering");
    }
}

void IPCObject::cmd_monitor(int interval) {
    send_command(monitor_request(interval));
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
        return send_command(peer_settings_request(peer_key, wanted), {0, peerId, {}});
    }
    Message message = request("connect");
    message.attributes().set("id", peerId);
    if (send_if_ready(message, refusal_note(Asker::kOperator, FailureEffect::kNotConnected, {peerId.toInt()}))) {
        return true;
    }
    qWarning().noquote() << "session" << uuid.toString() << "is not ready: dropping connect";
    return false;
}

bool IPCObject::cmd_disconnect_peer(Asker asker) {
    if (!send_command(request("disconnect"), refusal_note(asker, FailureEffect::kNotDisconnected, {}))) return false;
    std::lock_guard<SessionMutex> lock(session_mutex());
    peerStatsById.clear();
    return true;
}

void IPCObject::setAlertSound(int kind, const QString& file) {
    alertSounds.insert(kind, file);
}

QString IPCObject::alertSound(int kind) const {
    return alertSounds.value(kind);
}

// ------------------------------------------------------------------------------------------------
// Start-up request set and READY

void IPCObject::set_required_messages() {
    codec_version_ = version();
    QStringList names = {
        QStringLiteral("systemOpts"), QStringLiteral("sysOptions"),  QStringLiteral("directoryServer"),
        QStringLiteral("codecList"),  QStringLiteral("channelList"), QStringLiteral("channelOpts"),
        QStringLiteral("version"),    QStringLiteral("peerList"),
    };
    if (version() != 0) names.append(QStringLiteral("braidlinkSettings"));
    set_required(names);
    // Everything may have come in before the login result; then no tick will ever empty the list.
    if (is_required_list_empty()) queue_signal(&IQEndpointClient::finalRequiredMessageReceived);
}

void IPCObject::after_authenticated() {
    after_auth();
}

void IPCObject::after_auth() {
    // Normally already held by the loop; taken so that the subscriptions are safe from any caller.
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    cmd_get_channel_list();
    cmd_get_channel_opts();
    cmd_get_profile_list();
    cmd_get_codec_list();
    cmd_get_peer_list();
    cmd_get_directory_server();
    cmd_get_sys_options();
    if (eventLogPolling) cmd_get_event_log();
    const uint32_t metering_interval = metering_interval_ms_;
    if (version() == 0) {
        send(monitor_request(metering_interval != 0 ? metering_interval : kMeterIntervalMs));
        cmd_get_version_slot();
    } else {
        cmd_get_braidlink_settings();
        cmd_get_tunnel_status();
        for (const Subscription& each : subscriptions()) {
            const bool is_metering = std::strcmp(each.name, "metering") == 0;
            if (!is_metering) {
                subscribe(each.name, each.interval_ms);
            } else if (meteringOn && metering_interval != 0) {
                subscribe(each.name, metering_interval);
            }
        }
        cmd_get_version_slot();
    }
    // The operator's choice outlives the connection; "monitor" above switched a legacy codec on
    // whatever it was asked for.
    if (!meteringOn || (version() == 0 && metering_interval == 0)) send(metering_off_request());
}

void IPCObject::allMessagesPresent() {
    // The signal was queued from the loop thread: by now the connection may have dropped, or a new
    // login may have refilled the list. Decided under the lock that every state change holds.
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    if (state() != AUTHENTICATED || !is_required_list_empty()) return;
    set_state(READY);
}

// ------------------------------------------------------------------------------------------------
// Dispatch (socket loop thread)

void IPCObject::report_refusal(const Message& reply, const QString& request, const Settlement& settled,
                               const std::vector<UnansweredRequests::Request>& candidates) {
    const Message::Attributes& attributes = reply.attributes();
    const QString code = text_of(attributes.get_string("error_code", ""));
    const QString text = text_of(attributes.get_string("error_text", ""));
    QStringList answerable;
    for (const UnansweredRequests::Request& candidate : candidates) answerable << text_of(candidate.name);
    const QString refused = candidates.empty() ? request : QStringLiteral("to one of ") + answerable.join(", ");
    qWarning().nospace().noquote() << "reply " << refused << " failed: error_code " << code << ", error_text \""
                                   << text << "\"";
    queue_failure(request, code, text, settled, candidates);
}

void IPCObject::report_seqless_refusal(const Message& reply,
                                       const std::vector<UnansweredRequests::Request>& answerable) {
    if (answerable.size() == 1) {
        const UnansweredRequests::Request& request = answerable.front();
        report_refusal(reply, text_of(request.name), {request.note.effect, request.note.ids, QString()});
        return;
    }
    if (answerable.empty()) {
        qWarning("a refusal without seq names no request: none without seq awaited an answer");
        report_refusal(reply, QString(), {});
        return;
    }
    report_refusal(reply, QString(), {FailureEffect::kAnswersOneOf, {}, QString()}, answerable);
}

void IPCObject::queue_failure(const QString& request, const QString& code, const QString& text,
                              const Settlement& settled, const std::vector<UnansweredRequests::Request>& candidates) {
    Message failure;
    failure.set_name("failure");
    failure.attributes().set("request", request);
    failure.attributes().set("error_code", code);
    failure.attributes().set("error_text", text);
    failure.attributes().set("effect", static_cast<int>(settled.effect));
    add_subjects(failure, settled.ids);
    for (const UnansweredRequests::Request& candidate : candidates) {
        Message& noted = failure.add_child("candidate");
        noted.attributes().set("request", candidate.name);
        noted.attributes().set("effect", static_cast<int>(candidate.note.effect));
        add_subjects(noted, candidate.note.ids);
    }
    queue_own_slot("raiseRequestFailed(Message)", std::make_shared<const Message>(std::move(failure)));
}

IPCObject::Settlement IPCObject::settle_awaited(const Message& reply) {
    const Message::Attributes& attributes = reply.attributes();
    const std::string seq = attributes.get_string("seq", "");
    const bool is_refused = attributes.has("fail");
    std::optional<int> named_id;
    if (attributes.has("id")) named_id = attributes.get_int("id", 0);
    Settlement settled;
    std::lock_guard<SessionMutex> lock(session_mutex());
    AwaitedAnswers<AwaitedNote>* awaited = awaited_answers(seq);
    if (!awaited) return settled;
    const AwaitedAnswers<AwaitedNote>::Pairing pairing = awaited->take(named_id);
    if (!pairing.settled) return settled;
    if (awaited == &peer_assignments_) {
        const QString& peer = pairing.settled->note.connect_peer;
        if (peer.isEmpty()) return settled;
        if (pairing.is_sure && !is_refused) {
            settled.connect_peer = peer;
        } else {
            settled.effect = is_refused ? FailureEffect::kNotConnected : FailureEffect::kNotConnectedUnsure;
            settled.ids.append(peer.toInt());
        }
        return settled;
    }
    if (!is_refused) return settled;
    if (awaited == &copy_deletions_) {
        settled.effect = pairing.is_sure ? FailureEffect::kEmptyProfileLeft : FailureEffect::kEmptyProfileMayBeLeft;
        if (pairing.is_sure) settled.ids.append(pairing.settled->id);
        for (const auto& request : pairing.candidates) settled.ids.append(request.id);
    } else if (pairing.is_sure) {
        if (pairing.settled->note.copy_id > 0) {
            settled.effect = FailureEffect::kCopyNotMade;
            settled.ids.append(pairing.settled->note.copy_id);
        }
    } else {
        // Perhaps a copy's write, perhaps an edit's: nothing is deleted on a guess.
        for (const auto& request : pairing.candidates) {
            if (request.note.copy_id > 0) settled.ids.append(request.note.copy_id);
        }
        if (!settled.ids.isEmpty()) settled.effect = FailureEffect::kEmptyProfileMayBeLeft;
    }
    return settled;
}

void IPCObject::queue_own_slot(const char* signature, const SharedMessage& argument, SessionInbox::Delivery delivery) {
    const int index = staticMetaObject.indexOfMethod(signature);
    Q_ASSERT(index >= 0);
    queue_call(index, argument, delivery);
}

bool IPCObject::is_childless_report(const QString& key, const Message& message) {
    static const QStringList kKeysWithPayload = {QStringLiteral("metering"), QStringLiteral("levels"),
                                                 QStringLiteral("peer_stats"),
                                                 QStringLiteral("channel_stats")};
    return message.size() == 0 && kKeysWithPayload.contains(key);
}

SessionInbox::Delivery IPCObject::delivery_of(const QString& key) const {
    // A level report only says what the meters show now: when the GUI thread is behind, the newest
    // one is all it needs.
    const bool is_level = key == QLatin1String("metering") || key == QLatin1String("levels");
    return is_level ? SessionInbox::Delivery::kNewestOnly : SessionInbox::Delivery::kData;
}

void IPCObject::queue_reply(const QString& key, int slot, const SharedMessage& stored) {
    // By the time a call runs, the cache may already hold the codec's next list: a peer removed and
    // another given its id, or a call that starts and ends, would then show as one list. So each
    // list travels with its own call, as a report's does.
    if (key == QLatin1String("peerList")) {
        queue_call(slot_index(QStringLiteral("cb_unso_peerList"), true), stored, delivery_of(key));
        return;
    }
    queue_call(slot, nullptr, delivery_of(key));
}

void IPCObject::handle_response(const Message& reply) {
    const int codec_version = version();
    codec_version_ = codec_version;
    const Message::Attributes& attributes = reply.attributes();
    const bool has_seq = attributes.has("seq");
    // Every request of an awaited seq gets one answer in either dialect.
    const Settlement settled = has_seq ? settle_awaited(reply) : Settlement{};
    if (!settled.connect_peer.isEmpty()) {
        Message connect = request("connect");
        connect.attributes().set("id", settled.connect_peer);
        // Sent by the connection that took the profile, or not at all.
        queue_own_slot("connectAssignedPeer(Message)", std::make_shared<const Message>(std::move(connect)),
                       SessionInbox::Delivery::kData);
    }
    if (settled.effect != FailureEffect::kNone && !attributes.has("fail")) {
        queue_failure(text_of(attributes.get_string("seq", "")), QString(), QString(), settled, {});
    }
    // A legacy codec's replies are made up locally by the protocol and carry nothing.
    if (codec_version == 0) return;

    // Every answer without seq settles a request without one, whether or not it can be told which.
    const std::vector<UnansweredRequests::Request> answerable =
        has_seq ? std::vector<UnansweredRequests::Request>{} : take_answerable_requests();
    QString key;
    if (has_seq) {
        key = text_of(attributes.get_string("seq", ""));
    } else if (reply.size() > 0) {
        key = text_of(reply.get_child(0).name());
    }
    if (attributes.has("fail")) {
        if (!has_seq) {
            report_seqless_refusal(reply, answerable);
            return;
        }
        report_refusal(reply, key, settled);
        // The codec has answered: a required reply counts, so that one refusal cannot keep the
        // session out of READY. The cache keeps the last good reply.
        if (key == QLatin1String("addProfile")) queue_own_slot("dropRefusedProfileCopy()", nullptr);
        tick_required(key);
        return;
    }
    if (key.isEmpty()) {
        warn_once(
            QStringLiteral("resp without seq"),
            QStringLiteral("not storing seq-less response which has %1 params...").arg(attributes.size()));
        return;
    }
    // A missing slot is normal here: "setProfile" and its sisters are only cached.
    const int slot = slot_index(QStringLiteral("cb_resp_") + key, false);
    const SharedMessage stored = store(reply, key, slot >= 0 || is_required(key));
    if (key == QLatin1String("addProfile") && has_seq) {
        // Only the profile copy's request carries this seq: one id per outstanding copy.
        std::lock_guard<SessionMutex> lock(session_mutex());
        added_profile_ids_.push_back(attributes.get_int("id", 0));
    }
    if (slot >= 0) queue_reply(key, slot, stored);
    tick_required(key);
}

void IPCObject::handle_unsolicited(const Message& message) {
    const int codec_version = version();
    codec_version_ = codec_version;
    if (codec_version == 0) {
        // A legacy codec sends its reports bare, named by what they are.
        dispatch_report(message, key_route(text_of(message.name())));
        return;
    }

    const std::string id = message.attributes().get_string("id", "");
    if (id == "metering" && message.size() > 0) {
        receive_levels(message.get_child(0).attributes());
        return;
    }
    if (id != "unso") {
        const ReportRoute route = report_route(id);
        if (is_childless_report(route.key, message)) {
            warn_once(route.key, QStringLiteral("dropping \"%1\" report without values").arg(route.key));
            return;
        }
        dispatch_report(message, route);
        return;
    }
    // A pushed reply: the real message is the first child, handled as the reply of its name.
    if (message.size() == 0) {
        warn_once(QStringLiteral("unso"), QStringLiteral("dropping \"unso\" report without a child"));
        return;
    }
    const Message& payload = message.get_child(0);
    const QString key = text_of(payload.name());
    const QString slot_name = QStringLiteral("cb_resp_") + key;
    const int slot = slot_index(slot_name, false);
    const SharedMessage stored = store(payload, key, slot >= 0 || is_required(key));
    if (slot >= 0) {
        queue_reply(key, slot, stored);
    } else {
        warn_about_key(key, QStringLiteral("missing function ") + slot_name);
    }
    tick_required(key);
}

// ------------------------------------------------------------------------------------------------
// Reply and report slots (GUI thread)

void IPCObject::cb_resp_channelList() {
    emit recvChannelList(uuid);
}

void IPCObject::cb_resp_channelOpts() {
    emit recvChannelOpts(uuid);
}

void IPCObject::cb_resp_profileList() {
    // This list came after the answers that gave those ids: it shows each one the codec still holds.
    unlisted_copy_ids_.clear();
    Message list;
    if (getCachedMessage(QStringLiteral("profileList"), list)) {
        QList<ProfileInfo> parsed;
        QString default_id;
        const unsigned count = list.child_count("profile");
        for (unsigned i = 0; i < count; ++i) {
            const Message& node = list.get_child("profile", i);
            if (node.child_count("settings") == 0) continue;
            const Message::Attributes& settings = node.get_child("settings", 0).attributes();
            ProfileInfo profile;
            profile.name = settings.get_qstring("name", QString());
            profile.id = node.attributes().get_qstring("id", QString());
            profile.isDefault = node.attributes().get_bool("default", false);
            if (profile.isDefault) default_id = profile.id;  // the last one marked wins
            profile.factory = settings.get_bool("factory", false);
            parsed.append(profile);
        }
        std::lock_guard<SessionMutex> lock(session_mutex());
        profiles = parsed;
        defaultProfileId = default_id;
    }
    emit recvProfileList(uuid);
    settle_renames(sentProfileRenames, profiles, session_mutex());
}

void IPCObject::cb_resp_peerList() {
    Message list;
    if (getCachedMessage(QStringLiteral("peerList"), list)) apply_peer_list(list);
}

void IPCObject::apply_peer_list(const Message& list) {
    QString summary;
    QStringList started_names;
    QStringList ended_names;
    QStringList duplicate_ids;
    bool is_summary_changed = false;
    {
        std::lock_guard<SessionMutex> lock(session_mutex());
        // The previous list's active ids not yet met in this one, in their old order.
        QList<int> unmet_active_ids = activePeerIds;
        QList<PeerMetaPtr> all, active, book, directory;
        QMap<int, PeerMetaPtr> by_id;
        QList<int> active_ids;
        const unsigned count = list.child_count("peer");
        for (unsigned i = 0; i < count; ++i) {
            auto peer = std::make_shared<PeerMeta>(list.get_child("peer", i));
            const int key = peer->id.toInt();
            // A second peer under one key would be taken for a new connection on every list.
            if (by_id.contains(key)) {
                duplicate_ids.append(peer->id);
                continue;
            }
            if (!peer->chan_state.isEmpty()) summary = peer->chan_state;
            by_id.insert(key, peer);
            all.append(peer);
            (peer->directory ? directory : book).append(peer);
            const bool was_active = unmet_active_ids.removeOne(key);
            if (!peer->active) {
                if (was_active) ended_names.append(peer->name);
                continue;
            }
            if (!was_active) started_names.append(peer->name);
            active_ids.append(key);
            active.append(peer);
            if (peer->channel->receiving) receivingPeerId = peer->id;
        }
        // Active before and gone from the list now: the codec dropped the peer with its connection.
        for (int key : unmet_active_ids) {
            const PeerMetaPtr gone = peerById.value(key);
            ended_names.append(gone ? gone->name : QString());
        }

        allPeers = all;
        activePeers = active;
        bookPeers = book;
        directoryPeers = directory;
        peerById = by_id;
        activePeerCount = active.size();
        activePeerIds = active_ids;
        if (active.isEmpty()) {
            delayGraph.clear();
            lossGraph.clear();
        }
        if (summary != chanState) {
            chanState = summary;
            is_summary_changed = true;
        }
    }

    if (!duplicate_ids.isEmpty()) {
        warnings_.warn(QStringLiteral("peerList duplicate"),
                       QStringLiteral("peer list of %1: %2 entries repeat an earlier id and are skipped: %3")
                           .arg(uuid.toString())
                           .arg(duplicate_ids.size())
                           .arg(first_ids(duplicate_ids)));
    }
    if (is_summary_changed) emit newChanState(uuid, summary);
    // One audio event per list at most; a start outweighs an end in the same list.
    if (!started_names.isEmpty()) {
        deviceLog.addEventLine(QStringLiteral("Audio connection started. Active peers:") +
                               audio_event_names(started_names));
        emit deviceEvent(this, AUDIO_START);
    } else if (!ended_names.isEmpty()) {
        deviceLog.addEventLine(QStringLiteral("Audio connection ended. Disconnected peers:") +
                               audio_event_names(ended_names));
        emit deviceEvent(this, AUDIO_END);
    }
    emit recvPeerList(uuid);
    settle_renames(sentPeerRenames, allPeers, session_mutex());
}

void IPCObject::cb_resp_version() {
    emit recvVersion(uuid);
}

void IPCObject::cb_resp_sysOptions() {
    emit recvSysOptions(uuid);
}

void IPCObject::cb_resp_systemOpts() {
    emit recvSystemOpts();
}

void IPCObject::cb_resp_codecList() {
    emit recvCodecList(uuid);
}

void IPCObject::cb_resp_vantixConfig() {
    Message config;
    QString text;
    if (getCachedMessage(QStringLiteral("vantixConfig"), config)) {
        std::string xml;
        config.serialize(Message::XML, xml, false);
        text = text_of(xml);
    }
    emit recvVantixConfig(uuid, text);
}

void IPCObject::cb_resp_directoryServer() {
    emit recvDirectoryServer(uuid);
}

void IPCObject::cb_resp_peerStats() {
    parsePeerStats();
}

void IPCObject::parsePeerStats() {
    // Every codec reports its statistics each second: the cached report is read without a copy.
    if (const SharedMessage report = shared_cached_message(QStringLiteral("peerStats"))) apply_peer_stats(*report);
}

void IPCObject::apply_peer_stats(const Message& report) {
    QStringList duplicate_ids;
    {
        std::lock_guard<SessionMutex> lock(session_mutex());
        // Each report replaces the whole set.
        peerStatsById.clear();
        QSet<int> ids;
        const unsigned count = report.child_count("peer");
        for (unsigned i = 0; i < count; ++i) {
            const PeerStatsInfo stats = PeerStatsInfo::fromMessage(report.get_child("peer", i));
            // One sample per peer and report: a repeated id would put two into the series.
            if (ids.contains(stats.id)) {
                duplicate_ids.append(QString::number(stats.id));
                continue;
            }
            ids.insert(stats.id);
            peerStatsById.insert(stats.id, stats);
            delayGraph.addSample(stats.id, stats.bufferDelay, stats.packetJitter, stats.bufferDesiredDelay);
            lossGraph.addSample(stats.id, stats.frameLossRate, stats.remoteLoss, stats.corrUpRate,
                                stats.corrDownRate);
        }
        delayGraph.retainPeers(ids);
        lossGraph.retainPeers(ids);
    }
    announce_graph_changes();
    if (!duplicate_ids.isEmpty()) {
        warnings_.warn(QStringLiteral("peerStats duplicate"),
                       QStringLiteral("peer statistics of %1: %2 entries repeat an earlier id and are "
                                      "skipped: %3")
                           .arg(uuid.toString())
                           .arg(duplicate_ids.size())
                           .arg(first_ids(duplicate_ids)));
    }
    emit recvPeerStats(uuid);
}

void IPCObject::announce_graph_changes() {
    delayGraph.announceChanges();
    lossGraph.announceChanges();
}

void IPCObject::cb_resp_channelStats() {
    if (const SharedMessage report = shared_cached_message(QStringLiteral("channelStats"))) {
        apply_channel_stats(*report);
    }
}

void IPCObject::apply_channel_stats(const Message& report) {
    int refused = 0;
    {
        std::lock_guard<SessionMutex> lock(session_mutex());
        const unsigned count = report.child_count("channel");
        for (unsigned i = 0; i < count; ++i) {
            const ChannelStatsInfo stats = ChannelStatsInfo::fromMessage(report.get_child("channel", i));
            // Records are never dropped, so the number of ids a codec may bring in is capped.
            auto found = channelStatsById.find(stats.id);
            if (found != channelStatsById.end()) {
                *found = stats;
            } else if (channelStatsById.size() < kMaxChannelStats) {
                channelStatsById.insert(stats.id, stats);
            } else {
                ++refused;
            }
        }
    }
    if (refused > 0) {
        warnings_.warn(QStringLiteral("channelStats cap"),
                       QStringLiteral("channel statistics of %1: keeping %2 channels at most; %3 "
                                      "further channels ignored")
                           .arg(uuid.toString())
                           .arg(kMaxChannelStats)
                           .arg(refused));
    }
    emit recvChannelStats(uuid);
}

void IPCObject::cb_resp_levels() {
    // A subscribing codec reports "metering" with the values in a child, a legacy one "levels".
    const QString name = codec_version_ == 0 ? QStringLiteral("levels") : QStringLiteral("metering");
    if (const SharedMessage report = shared_cached_message(name)) {
        report_levels(*report);
    } else if (codec_version_ != 0) {
        // A subscribing codec's reports are kept as their levels only.
        announceNewestLevels();
    }
}

const Message* IPCObject::level_values(const Message& report) {
    if (codec_version_ == 0) return &report;
    // Childless reports are normally dropped on arrival already; this catches a codec whose version
    // changed on the way.
    if (report.size() == 0) {
        warnings_.warn(QStringLiteral("metering childless"),
                       QStringLiteral("dropping \"metering\" report without values"));
        return nullptr;
    }
    return &report.get_child(0);
}

void IPCObject::report_levels(const Message& report) {
    const Message* values = level_values(report);
    if (!values) return;
    const std::array<float, 8> db = levels_of(values->attributes());
    keep_newest_levels(db);
    announce_levels(db);
}

void IPCObject::receive_levels(const Message::Attributes& values) {
    keep_newest_levels(levels_of(values));
    static const int announce = staticMetaObject.indexOfMethod("announceNewestLevels()");
    queue_call(announce, nullptr, SessionInbox::Delivery::kNewestOnly);
}

void IPCObject::keep_newest_levels(const std::array<float, 8>& db) {
    std::lock_guard<SessionMutex> lock(session_mutex());
    newest_levels_ = db;
    has_newest_levels_ = true;
}

void IPCObject::forget_reports() {
    std::lock_guard<SessionMutex> lock(session_mutex());
    has_newest_levels_ = false;
}

void IPCObject::announceNewestLevels() {
    std::array<float, 8> db;
    if (newestLevels(db)) announce_levels(db);
}

void IPCObject::announce_levels(const std::array<float, 8>& db) {
    ++level_reports_;
    emit levelsReported();
    emit recvLevels(db[0], db[1], db[2], db[3]);
    emit recvAllLevels(db[0], db[1], db[2], db[3], db[4], db[5], db[6], db[7]);
}

bool IPCObject::newestLevels(std::array<float, 8>& db) {
    std::lock_guard<SessionMutex> lock(session_mutex());
    if (!has_newest_levels_) return false;
    db = newest_levels_;
    return true;
}

float IPCObject::level_of(const Message::Attributes& levels, const char* name) {
    // Read here rather than with get_float, which gives 0 dB, full scale, for text that is no number.
    const std::string text = levels.get_string(name, std::string());
    char* end = nullptr;
    const float level = strtof_l(text.c_str(), &end, platform::c_locale());
    if (end == text.c_str() || *end != '\0' || std::isnan(level)) return kSilenceDb;
    return std::min(std::max(level, kSilenceDb), kFullScaleDb);
}

std::array<float, 8> IPCObject::levels_of(const Message::Attributes& levels) {
    return {level_of(levels, "rmlf"), level_of(levels, "rmrf"), level_of(levels, "tmlf"), level_of(levels, "tmrf"),
            level_of(levels, "rmls"), level_of(levels, "rmrs"), level_of(levels, "tmls"), level_of(levels, "tmrs")};
}

void IPCObject::cb_resp_addPeer() {
    emit recvAddPeer();
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

void IPCObject::cb_resp_tunnelStatus() {
    emit recvTunnelStatus(uuid);
}

void IPCObject::cb_resp_braidlinkSettings() {
    emit recvBraidlinkSettings(uuid);
}

void IPCObject::cb_resp_setBraidlinkOptions() {
    {
        // Under one hold of the mutex, so that a new "braidlinkSettings" cannot slip in between.
        std::lock_guard<SessionMutex> lock(session_mutex());
        Message answer;
        Message settings;
        if (cached_message(QStringLiteral("setBraidlinkOptions"), answer) &&
            cached_message(QStringLiteral("braidlinkSettings"), settings)) {
            apply_tunnel_answer(answer, settings);
            cache_message(settings, QStringLiteral("braidlinkSettings"));
        }
    }
    emit recvSetBraidlinkOptions();
}

void IPCObject::apply_tunnel_answer(const Message& answer, Message& settings) {
    if (!settings.child_count("node") || !settings.get_child("node", 0).child_count("group")) return;
    Message& group = settings.get_child("node", 0).get_child("group", 0);
    const std::string prefix = std::string(kTunnelPath) + ".";
    for (int row = 0; row < answer.size(); ++row) {
        const Message& accepted = answer.get_child(row);
        if (accepted.name() != "option") continue;
        std::string name = accepted.attributes().get_string("option", "");
        if (name.compare(0, prefix.size(), prefix) == 0) name.erase(0, prefix.size());
        if (name.empty()) continue;
        for (int index = 0; index < group.size(); ++index) {
            Message& option = group.get_child(index);
            if (option.name() == "option" && option.attributes().get_string("name", "") == name) {
                option.attributes().set("value", accepted.attributes().get_string("value", ""));
            }
        }
    }
}

void IPCObject::cb_resp_eventLog() {
    emit recvEventLog(eventLog.merge(expectedMessage(QStringLiteral("eventLog"))));
}

void IPCObject::cb_unso_currentEncoder(const Message&) {
    emit recvCurrentEncoder();
}

void IPCObject::cb_unso_sipProxy(const Message&) {
    emit recvSipProxy();
}

void IPCObject::cb_unso_channelList(const Message&) {
    emit recvChannelList(uuid);
}

void IPCObject::cb_unso_channelOpts(const Message&) {
    emit recvChannelOpts(uuid);
}

void IPCObject::cb_unso_profileList(const Message&) {
    cb_resp_profileList();
}

void IPCObject::cb_unso_peerList(const Message& unso) {
    apply_peer_list(unso);
}

void IPCObject::cb_unso_version(const Message&) {
    if (codec_version_ == 0) {
        emit recvVersion(uuid);
        return;
    }
    // A subscribing codec's report says only that the version changed: ask for it.
    QTimer::singleShot(kVersionReaskMs, this, &IPCObject::cmd_get_version_slot);
}

void IPCObject::cb_unso_systemOpts(const Message&) {
    emit recvSystemOpts();
}

void IPCObject::cb_unso_codecList(const Message&) {
    emit recvCodecList(uuid);
}

void IPCObject::cb_unso_vantixConfig(const Message&) {
    cb_resp_vantixConfig();
}

void IPCObject::cb_unso_directoryServer(const Message&) {
    emit recvDirectoryServer(uuid);
}

void IPCObject::cb_unso_metering(const Message& unso) {
    report_levels(unso);
}

void IPCObject::cb_unso_tun_stats(const Message&) {
    emit recvTunStats(uuid);
}

void IPCObject::cb_unso_tun_conns(const Message&) {
    emit recvTunConns(uuid);
}

void IPCObject::cb_unso_cfgStatus_netmgr_tunnel(const Message& unso) {
    cache_message(unso, QStringLiteral("tunnelStatus"));
    emit recvTunnelStatus(uuid);
}

void IPCObject::cb_unso_netmgr_tunnel(const Message& unso) {
    cb_unso_cfgStatus_netmgr_tunnel(unso);
}

void IPCObject::cb_unso_peer_stats(const Message& unso) {
    if (unso.child_count("peerStats") == 0) {
        warnings_.warn(QStringLiteral("peer_stats childless"),
                       QStringLiteral("dropping \"peer_stats\" report without \"peerStats\""));
        return;
    }
    const Message& report = unso.get_child("peerStats", 0);
    cache_message(report, QStringLiteral("peerStats"));
    apply_peer_stats(report);
}

void IPCObject::cb_unso_channel_stats(const Message& unso) {
    if (unso.child_count("channelStats") == 0) {
        warnings_.warn(QStringLiteral("channel_stats childless"),
                       QStringLiteral("dropping \"channel_stats\" report without \"channelStats\""));
        return;
    }
    const Message& report = unso.get_child("channelStats", 0);
    cache_message(report, QStringLiteral("channelStats"));
    apply_channel_stats(report);
}

void IPCObject::cb_unso_channelStats(const Message&) {
    cb_resp_channelStats();
}

void IPCObject::cb_unso_levels(const Message& unso) {
    report_levels(unso);
}

void IPCObject::cb_unso_peerStats(const Message&) {
    cb_resp_peerStats();
}

void IPCObject::cb_unso_sysOptions(const Message&) {
    cb_resp_sysOptions();
}

// ------------------------------------------------------------------------------------------------
// State slots (GUI thread)

void IPCObject::changedState_connecting() {
    if (!pending_profiles_.empty()) {
        qWarning() << "new connection: dropping" << pending_profiles_.size()
                   << "profile copies that got no answer";
        pending_profiles_.clear();
    }
    {
        // The old connection's answers were dropped with its queued calls.
        std::lock_guard<SessionMutex> lock(session_mutex());
        added_profile_ids_.clear();
        profile_writes_.clear();
        copy_deletions_.clear();
        peer_assignments_.clear();
    }
    emit changedState(uuid, CONNECTING);
}

void IPCObject::changedState_connected() {
    pollTimer.stop();
    emit changedState(uuid, CONNECTED);
}

void IPCObject::changedState_disconnected() {
    emit changedState(uuid, DISCONNECTED);
}

void IPCObject::changedState_wrong_password() {
    emit changedState(uuid, AUTH_FAILED);
}

void IPCObject::changedState_ready() {
    pollTimer.setInterval(kEventLogPollMs);
    pollTimer.start();
    emit changedState(uuid, READY);
}

void IPCObject::raiseRequestFailed(const Message& failure) {
    const Message::Attributes& attributes = failure.attributes();
    FailureEffect effect;
    effect.kind = static_cast<FailureEffect::Kind>(attributes.get_int("effect", FailureEffect::kNone));
    effect.subjects = effect_subjects(effect.kind, failure);
    const unsigned candidates = failure.child_count("candidate");
    for (unsigned i = 0; i < candidates; ++i) {
        effect.candidates.append(answerable_candidate(failure.get_child("candidate", i)));
    }
    // The copy's first step made an empty profile: it goes again rather than stay blank.
    if (effect.kind == FailureEffect::kCopyNotMade) delete_copy_profile(effect.subjects.value(0).id);
    emit requestFailed(uuid, attributes.get_qstring("request", QString()),
                       attributes.get_qstring("error_code", QString()), attributes.get_qstring("error_text", QString()),
                       effect);
}

void IPCObject::delete_copy_profile(int id) {
    Message message = request("deleteProfile");
    message.attributes().set("id", id);
    // With a seq, unlike the operator's removals: its answer tells whether the empty profile stays.
    message.attributes().set("seq", "deleteProfile");
    send_command(message);
}

QList<FailureEffect::Subject> IPCObject::effect_subjects(FailureEffect::Kind kind, const Message& noted) {
    QList<FailureEffect::Subject> subjects;
    const unsigned count = noted.child_count("subject");
    for (unsigned i = 0; i < count; ++i) {
        subjects.append(effect_subject(kind, noted.get_child("subject", i).attributes().get_int("id", 0)));
    }
    return subjects;
}

FailureEffect::Candidate IPCObject::answerable_candidate(const Message& noted) {
    const Message::Attributes& attributes = noted.attributes();
    FailureEffect::Candidate candidate;
    candidate.request = attributes.get_qstring("request", QString());
    candidate.undone = static_cast<FailureEffect::Kind>(attributes.get_int("effect", FailureEffect::kNone));
    candidate.subjects = effect_subjects(candidate.undone, noted);
    candidate.isShownDone = is_shown_done(candidate.undone, candidate.subjects);
    return candidate;
}

bool IPCObject::is_shown_done(FailureEffect::Kind undone, const QList<FailureEffect::Subject>& subjects) {
    const bool wants_on_air = undone == FailureEffect::kNotConnected;
    if (!wants_on_air && undone != FailureEffect::kNotDisconnected) return false;
    std::lock_guard<SessionMutex> lock(session_mutex());
    // A disconnect without a subject is of every peer.
    if (subjects.isEmpty()) return !wants_on_air && activePeerCount == 0;
    return std::all_of(subjects.cbegin(), subjects.cend(), [&](const FailureEffect::Subject& subject) {
        return activePeerIds.contains(subject.id) == wants_on_air;
    });
}

FailureEffect::Subject IPCObject::effect_subject(FailureEffect::Kind kind, int id) {
    FailureEffect::Subject subject;
    subject.id = id;
    std::lock_guard<SessionMutex> lock(session_mutex());
    if (kind == FailureEffect::kNotConnected || kind == FailureEffect::kNotConnectedUnsure ||
        kind == FailureEffect::kNotDisconnected) {
        if (const PeerMetaPtr peer = peerById.value(id)) subject.name = peer->name;
        return subject;
    }
    const QString key = QString::number(id);
    for (const ProfileInfo& profile : qAsConst(profiles)) {
        if (profile.id == key) subject.name = profile.name;
    }
    return subject;
}

void IPCObject::connectAssignedPeer(const Message& connect) {
    // Only the operator's cmd_connect_peer waits for a profile.
    const int peer = connect.attributes().get_qstring("id", QString()).toInt();
    send_command(connect, refusal_note(Asker::kOperator, FailureEffect::kNotConnected, {peer}));
}

void IPCObject::dropRefusedProfileCopy() {
    if (pending_profiles_.empty()) return;
    qWarning() << "addProfile refused: not writing the copy of"
               << pending_profiles_.front().profile.attributes().get_qstring("name", QString());
    pending_profiles_.pop_front();
}

void IPCObject::eventLogTimerExpire() {
    // Sent only while READY: a poll never waits in the queue for a later connection.
    if (eventLogPolling) send_if_ready(event_log_request());
}
