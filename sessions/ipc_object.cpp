// IPCObject, the object and its connection: construction and the end of a session, the address
// and reconnects, the senders every command goes through, the reply-cache reads, the loop
// thread's dispatch of replies and reports to their slots, and the state slots. The command set,
// the start-up set, what answers settle and the parsers each have a file of their own
// (ipc_object_*.cpp).
#include "sessions/ipc_object.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QMetaObject>

#include <array>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/base/logger.h"
#include "sessions/iq_manager.h"
#include "sessions/lock_order.h"
#include "sessions/message_text.h"
#include "sessions/session_requests.h"

namespace wire = session_requests;

// Every session ends at an ordinary shutdown: a line for each would bury the shutdown's own.
Q_LOGGING_CATEGORY(lcSessionEnd, "kestrane.session.end", QtInfoMsg)

namespace {

IQCommonPooledApp* g_session_pool = nullptr;  // not owned; written once at start-up

}  // namespace

IPCObject::IPCObject(const QString& name, QUuid instance_uuid)
    : IQEndpointClient(name, nullptr), uuid(instance_uuid), tunnelInfo(this) {
    set_endpoint_timeout();
    setAddress(host, port);
    // Not placed yet, so no manager lock to take; setConnection replaces it.
    set_password(kDefaultPassword);
    if (uuid.isNull()) throw std::logic_error("IPCObject: a null uuid names no session");

    connect(this, &IQEndpointClient::connecting, this, &IPCObject::changedState_connecting);
    connect(this, &IQEndpointClient::connected, this, &IPCObject::changedState_connected);
    connect(this, &IQEndpointClient::disconnected, this, &IPCObject::changedState_disconnected);
    connect(this, &IQEndpointClient::wrong_password, this, &IPCObject::changedState_wrong_password);
    connect(this, &IQEndpointClient::ready, this, &IPCObject::changedState_ready);
    connect(this, &IQEndpointClient::finalRequiredMessageReceived, this, &IPCObject::allMessagesPresent);
    connect(this, &IQEndpointClient::fault_noted, this, [this] { emit faultChanged(uuid); });
    connect(this, &IQEndpointClient::link_drops_noted, this, [this] { emit linkDropsChanged(uuid); });
    connect(this, &IQEndpointClient::answers_settled, this, [this] { emit answersSettled(uuid); });
    freshnessSweep_ = FreshnessSweep::shared();
    freshnessSweep_->join(*this);
    connect(&pollTimer, &QTimer::timeout, this, &IPCObject::eventLogTimerExpire);
    deviceLog.placeAmong(&eventLog);
    connect(this, &IPCObject::recvAddProfile, this, &IPCObject::addProfileCallback);
}

IPCObject::~IPCObject() {
    // Before any member goes: a session deleted other than through markForDeletion must not be
    // reached by its loop while it is half destroyed.
    leave_placement();
    freshnessSweep_->leave(*this);
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
    const QString address = addressText(host, port);
    std::lock_guard<SessionMutex> lock(session_mutex());
    // A port outside 1..65535 is never connected to, but the log still says which one it was.
    logged_address_ = address.isEmpty() ? host + QLatin1Char(':') + QString::number(port) : address;
}

QString IPCObject::log_name() {
    std::lock_guard<SessionMutex> lock(session_mutex());
    QString name = logged_address_;
    QString unit_name = unitName();
    if (unit_name.isEmpty()) return name;
    if (unit_name.size() > kMaxLoggedNameLength) {
        unit_name = unit_name.left(kMaxLoggedNameLength - 1) + QChar(0x2026);  // an ellipsis marks the cut
    }
    QDebug(&name).nospace() << ' ' << unit_name;  // quoted, with quotes and control characters escaped
    return name;
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
        qCritical().noquote() << "reconnect: no IPC manager for" << log_name();
        return;
    }
    // Made here, under the manager lock, rather than queued to the worker thread: a queued connect
    // would overtake a disconnectIPC() asked for after it.
    QMetaObject::invokeMethod(manager, "connect_client", Qt::DirectConnection, Q_ARG(QString, QStringLiteral("xmls")),
                              Q_ARG(QString, QStringLiteral("stream")), Q_ARG(QString, address),
                              Q_ARG(QString, uuid.toString()));
}

void IPCObject::disconnectIPC() {
    IQManager* manager = ipcManager();
    if (!manager) {
        qCritical().noquote() << "disconnectIPC: no IPC manager for" << log_name();
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
    qCDebug(lcSessionEnd).noquote() << "markForDeletion:" << log_name();
    markedForDeletion = true;
    pollTimer.stop();
    leave_placement();
    // No loop reaches the session any more: what it queued before is dropped, and nothing the
    // session would still emit (the rest of a slot that marked it, say) reaches a receiver.
    forget_queued_calls();
    blockSignals(true);
    deleteLater();
}

bool IPCObject::send(const wire::AskedRequest& request) {
    return send_noting(request, asked_note(request));
}

bool IPCObject::send_own(const wire::Request& request) {
    return send_noting(request, {});
}

IPCObject::AwaitedNote IPCObject::asked_note(const wire::AskedRequest& request, AwaitedNote note) {
    note.refused.asked = &request.asked();
    return note;
}

bool IPCObject::send_noting(const wire::Request& request, const AwaitedNote& note) {
    const std::string seq = request.seq();
    AwaitedAnswers<AwaitedNote>* awaited = awaited_answers(seq);
    if (awaited || (note.refused.asked && !seq.empty())) {
        std::lock_guard<SessionMutex> lock(session_mutex());
        if (awaited) awaited->add(request.attributes().get_int("id", 0), note);
        if (note.refused.asked && !seq.empty()) asked_by_seq_[seq] = note.refused.asked;
    }
    // A connect that waits for its profile is the operator's connect, should the link go first.
    const UnansweredRequests::Note& kept =
        note.connect_peer.isEmpty()
            ? note.refused
            : UnansweredRequests::Note{FailureEffect::kNotConnected, {note.connect_peer.toInt()}, note.refused.asked};
    if (send_locked(request.message(), kept)) return true;
    if (awaited) {
        std::lock_guard<SessionMutex> lock(session_mutex());
        awaited->drop_newest();
    }
    return false;
}

template <typename HandOver>
bool IPCObject::while_ready(HandOver hand_over) {
    lock_order::assert_no_session_mutex_held("IPCObject::while_ready");
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    // A READY session is placed on its manager, so each hand-over goes through, or none does.
    return state() == READY && hand_over();
}

bool IPCObject::send_if_ready(const wire::Request& request, const AwaitedNote& note) {
    return while_ready([&] { return send_noting(request, note); });
}

bool IPCObject::send_all_if_ready(const std::vector<wire::AskedRequest>& requests) {
    return while_ready([&] {
        bool is_sent = true;
        for (const wire::AskedRequest& each : requests) is_sent = send_noting(each, asked_note(each)) && is_sent;
        return is_sent;
    });
}

bool IPCObject::takesSubscriptions() {
    // The protocol version is written by the socket loop under the manager lock.
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    return version() != 0;
}

bool IPCObject::send_or_warn(const wire::Request& request, const AwaitedNote& note) {
    if (send_if_ready(request, note)) return true;
    // A READY session that did not send it has said why (IQEndpointClient::send_locked).
    if (state() != READY) {
        qWarning().noquote() << "session" << log_name() << "is not ready: dropping"
                             << text_of(request.message().name());
    }
    return false;
}

bool IPCObject::send_command(const wire::AskedRequest& request, AwaitedNote note, Asker asker) {
    return send_or_warn(request, asker == Asker::kOperator ? asked_note(request, std::move(note)) : note);
}

void IPCObject::traceMessage(const Message& message) const {
    if (ipc_logger().level(0) > 2) message.dump(3);
}

void IPCObject::setAlertSound(int kind, const QString& file) {
    alertSounds.insert(kind, file);
}

QString IPCObject::alertSound(int kind) const {
    return alertSounds.value(kind);
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
    return getCachedMessage(QLatin1String(wire::kGetProfileList.seq), list) &&
           find_child_by_id(list, "profile", id, out);
}

bool IPCObject::findPeer(const QString& id, Message& out) {
    Message list;
    return getCachedMessage(QLatin1String(wire::kGetPeerList.seq), list) && find_child_by_id(list, "peer", id, out);
}

QString IPCObject::unitName() {
    Message options;
    if (!getCachedMessage(QLatin1String(wire::kGetSysOptions.seq), options)) return {};
    return options.attributes().get_qstring("unit_name", QStringLiteral("unknown"));
}

QList<PeerMetaPtr> IPCObject::activePeerList() {
    std::lock_guard<SessionMutex> lock(session_mutex());
    return activePeers;
}

unsigned int IPCObject::productBuild() {
    Message version;
    if (!getCachedMessage(QLatin1String(wire::kGetVersion.seq), version)) return 1;
    return version.attributes().get_uint("build", 1);
}

// ------------------------------------------------------------------------------------------------
// Dispatch (socket loop thread)

static_assert(static_cast<int>(IPCObject::OwnSlot::kTellCommandsRead) + 1 == IPCObject::kOwnSlotCount,
              "kOwnSlotCount counts every OwnSlot");

const char* IPCObject::own_slot_signature(OwnSlot slot) {
    switch (slot) {
    case OwnSlot::kRaiseRequestFailed: return "raiseRequestFailed(RequestFailure)";
    case OwnSlot::kConnectAssignedPeer: return "connectAssignedPeer(QString)";
    case OwnSlot::kDropRefusedProfileCopy: return "dropRefusedProfileCopy()";
    case OwnSlot::kAnnounceNewestLevels: return "announceNewestLevels()";
    case OwnSlot::kTellCommandsRead: return "tellCommandsRead(std::vector<RequestsInFlight::Request>)";
    }
    return "";
}

void IPCObject::queue_own_slot(OwnSlot slot, std::shared_ptr<const void> argument, SessionInbox::Delivery delivery) {
    // Looked up once: the levels' announcement is queued with every level report.
    static const std::array<int, kOwnSlotCount> kIndexes = [] {
        std::array<int, kOwnSlotCount> indexes{};
        for (int i = 0; i < kOwnSlotCount; ++i) {
            indexes[i] = staticMetaObject.indexOfMethod(own_slot_signature(static_cast<OwnSlot>(i)));
        }
        return indexes;
    }();
    queue_call(kIndexes[static_cast<int>(slot)], std::move(argument), delivery);
}

bool IPCObject::is_childless_report(const QString& key, const Message& message) {
    if (message.size() != 0) return false;
    const ReportHandling* handling = report_handling(key);
    return handling && handling->has_values_child;
}

void IPCObject::file_report_parts(const QString& key, const SharedMessage& report) {
    const ReportHandling* handling = report_handling(key);
    if (!handling || handling->filed_as.isEmpty()) return;
    if (!handling->part) {
        cache_shared(handling->filed_as, report);
    } else if (report->child_count(handling->part) > 0) {  // else the slot warns and drops it
        cache_shared(handling->filed_as, SharedMessage(report, &report->get_child(handling->part, 0)));
    }
}

SessionInbox::Delivery IPCObject::delivery_of(const QString& key) const {
    const ReportHandling* handling = report_handling(key);
    if (handling && handling->is_newest_only) return SessionInbox::Delivery::kNewestOnly;
    // Statistics asked for at the codec's own pace are asked for because a view shows them.
    const bool is_shown = statistics_interval_ms_ == 0 && is_statistics_report(key);
    return is_shown ? SessionInbox::Delivery::kShownData : SessionInbox::Delivery::kData;
}

bool IPCObject::is_statistics_report(const QString& key) {
    static const QSet<QString> kStatisticsKeys = [] {
        QSet<QString> keys;
        for (const Subscription& each : subscriptions()) {
            if (each.pacing == Pacing::kStatistics) keys.insert(report_key(each.report_id));
        }
        return keys;
    }();
    return kStatisticsKeys.contains(key);
}

void IPCObject::queue_reply(const QString& key, int slot, const SharedMessage& stored) {
    // By the time a call runs, the cache may already hold the codec's next list: a peer removed and
    // another given its id, or a call that starts and ends, would then show as one list. So each
    // list travels with its own call, as a report's does.
    if (key == QLatin1String(wire::kGetPeerList.seq)) {
        queue_call(slot_index(report_slot_name(key), true), stored, delivery_of(key));
        return;
    }
    queue_call(slot, nullptr, delivery_of(key));
}

void IPCObject::handle_response(const Message& reply) {
    const int codec_version = version();
    codec_version_ = codec_version;
    const Message::Attributes& attributes = reply.attributes();
    const bool has_seq = attributes.has("seq");
    // An answer without seq settles what it answers behind the refusal it may be (below).
    if (has_seq) settle_in_flight(attributes.get_string("seq", ""));
    // A ping's answer says only that the codec reads: it settles, and is neither kept nor handed on.
    if (attributes.get_string("seq", "") == wire::kPing.seq) return;
    // Every request of an awaited seq gets one answer in either dialect.
    const Settlement settled = has_seq ? settle_awaited(reply) : Settlement{};
    if (!settled.connect_peer.isEmpty()) {
        // Sent by the connection that took the profile, or not at all.
        queue_own_slot(OwnSlot::kConnectAssignedPeer, std::make_shared<const QString>(settled.connect_peer),
                       SessionInbox::Delivery::kData);
    }
    if (settled.effect != FailureEffect::kNone && !attributes.has("fail")) {
        const std::string seq = attributes.get_string("seq", "");
        queue_failure({text_of(seq), asked_by_seq(seq), QString(), QString(), settled, {}, {}});
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
            settle_in_flight("");
            return;
        }
        report_refusal(reply, key, asked_by_seq(key.toStdString()), settled);
        // The codec has answered: a required reply counts, so that one refusal cannot keep the
        // session out of READY. The cache keeps the last good reply.
        if (key == QLatin1String(wire::kAddProfile.refused_as())) {
            queue_own_slot(OwnSlot::kDropRefusedProfileCopy, nullptr);
        }
        tick_required(key);
        return;
    }
    if (!has_seq) settle_in_flight("");
    if (key.isEmpty()) {
        warn_once(QStringLiteral("resp without seq"),
                  QStringLiteral("not storing seq-less response which has %1 params...").arg(attributes.size()));
        return;
    }
    // A missing slot is normal here: "setProfile" and its sisters are only cached.
    const int slot = slot_index(reply_slot_name(key), false);
    const SharedMessage stored = store(reply, key, slot >= 0 || is_required(key));
    if (key == QLatin1String(wire::kAddProfile.refused_as()) && has_seq) {
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
    if (id == wire::kMeteringSubscription && message.size() > 0) {
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
    const QString slot_name = reply_slot_name(key);
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
// State slots (GUI thread)

void IPCObject::changedState_connecting() {
    if (!pending_profiles_.empty()) {
        qWarning() << "new connection: dropping" << pending_profiles_.size() << "profile copies that got no answer";
        pending_profiles_.clear();
    }
    {
        // The old connection's answers were dropped with its queued calls.
        std::lock_guard<SessionMutex> lock(session_mutex());
        added_profile_ids_.clear();
        profile_writes_.clear();
        copy_deletions_.clear();
        peer_assignments_.clear();
        peer_additions_.clear();
    }
    // What the last connection reported is no claim about this one: stale until it reports.
    const bool was_stale = areLevelsStale() || areStatisticsStale();
    freshness_.forget();
    if (was_stale != (areLevelsStale() || areStatisticsStale())) emit figuresFreshnessChanged(uuid);
    noteEventLogRefusal(std::nullopt);
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
