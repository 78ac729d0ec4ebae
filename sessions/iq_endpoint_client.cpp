#include "sessions/iq_endpoint_client.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <QMetaMethod>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_clock.h"
#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/net/ipc_conn.h"
#include "sessions/iq_common_pooled_app.h"
#include "sessions/iq_manager.h"
#include "sessions/lock_order.h"
#include "sessions/session_inbox.h"
#include "sessions/session_meta_types.h"
#include "sessions/session_requests.h"

// Every connection attempt of an unreachable codec changes its state twice: with a fleet of them
// those lines would bury everything else, so they are off unless the category is switched on.
Q_LOGGING_CATEGORY(lcSessionState, "kestrane.session.state", QtInfoMsg)

namespace {

const char* state_name(int state) {
    return QMetaEnum::fromType<IQEndpointClient::DEVICE_STATE>().valueToKey(state);
}

QString signature_text(const QString& slot_name, bool has_argument) {
    return slot_name + (has_argument ? QStringLiteral("(Message)") : QStringLiteral("()"));
}

// FNV-1a: the same for a name in every run, and spread however alike the names are.
uint64_t stable_hash(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

int64_t floor_div(int64_t value, int64_t divisor) {
    return value / divisor - (value % divisor < 0 ? 1 : 0);
}

}  // namespace

IQEndpointClient::IQEndpointClient(const std::string& name, QObject* parent)
    : QObject(parent),
      session_name_(name),
      inbox_(SessionInbox::for_current_thread()),
      probe_phase_(stable_hash(name)) {}

IQEndpointClient::IQEndpointClient(const QString& name, QObject* parent)
    : IQEndpointClient(name.toStdString(), parent) {}

IQEndpointClient::~IQEndpointClient() {
    leave_placement();
    forget_queued_calls();
}

void IQEndpointClient::set_placement(IQCommonPooledApp* pool, IQManager* manager, const QString& name) {
    session_pool_ = pool;
    session_manager_ = manager;
    placed_name_ = name;
}

void IQEndpointClient::leave_placement() {
    IQManager* manager = session_manager_;
    if (!manager) return;
    // The connection goes with the session: the manager would leave it to us, still open.
    const QString placed_name = placed_name_;  // the pool clears ours while it removes us
    const std::string name = placed_name.toStdString();
    manager->IPCManager::disconnect(name);
    if (session_pool_ && session_pool_->remove_client(placed_name)) return;
    manager->remove_endpoint(name);
    set_placement(nullptr, nullptr, QString());
}

void IQEndpointClient::forget_queued_calls() {
    inbox_->forget(this);
}

QString IQEndpointClient::log_name() {
    return QString::fromStdString(session_name_);
}

void IQEndpointClient::set_state(DEVICE_STATE new_state) {
    const int old_state = state_.load();
    if (old_state == new_state) return;
    // An unreachable codec goes from DISCONNECTED to CONNECTING and back on every attempt.
    const bool is_attempt = (old_state == DISCONNECTED && new_state == CONNECTING) ||
                            (old_state == CONNECTING && new_state == DISCONNECTED);
    if (!is_attempt || lcSessionState().isDebugEnabled()) {
        const QMessageLogger logger(QT_MESSAGELOG_FILE, QT_MESSAGELOG_LINE, QT_MESSAGELOG_FUNC);
        QDebug line = is_attempt ? logger.debug(lcSessionState()) : logger.debug();
        line.nospace().noquote() << "set_state (" << log_name() << "): " << state_name(old_state) << " to "
                                 << state_name(new_state);
    }
    state_.store(new_state);

    switch (new_state) {
    case TIMED_OUT: queue_signal(&IQEndpointClient::cnxn_timed_out); break;
    case AUTH_FAILED:
        should_reconnect_ = false;
        queue_signal(&IQEndpointClient::wrong_password);
        break;
    case DISCONNECTED:
        tell_link_lost();
        // The next attempt is a connection of its own, whether or not it gets under way.
        end_of_connection_ = {};
        has_been_connected_ = false;
        report_dropped_warnings();
        queue_signal(&IQEndpointClient::disconnected);
        break;
    case CONNECTING:
        should_reconnect_ = true;
        tell_link_lost();
        forget_connection_state();
        queue_signal(&IQEndpointClient::connecting);
        break;
    case CONNECTED: queue_signal(&IQEndpointClient::connected); break;
    case AUTHENTICATED:
        set_required_messages();
        after_authenticated();
        break;
    case READY:
        last_probe_us_ = ipc_now_us();
        write_codec_text_notes();
        note_fault({});
        queue_signal(&IQEndpointClient::ready);
        break;
    case CODE_UPLOAD:
    case CODE_UPDATE: break;
    }
    tick_due_changed();
}

void IQEndpointClient::forget_connection_state() {
    {
        std::lock_guard<SessionMutex> lock(session_mutex_);
        cache_.clear();
    }
    forget_reports();
    report_dropped_warnings();
    slot_index_by_signature_.clear();
    routes_by_id_.clear();
    unanswered_requests_.clear();
    in_flight_.clear();
    last_reask_us_ = 0;
    is_reask_due_ = false;
    last_drop_us_ = 0;
    end_of_connection_ = {};
    has_been_connected_ = false;
    // What the old connection sent and the GUI thread has not taken yet must not land in the new
    // connection's session; its state signals stay, in order.
    inbox_->forget_data(this);
    // After forget_data, which would drop the signal that tells of it.
    forget_link_drops();
}

void IQEndpointClient::report_dropped_warnings() {
    write_codec_text_notes();
    if (unlogged_dropped_frames_ > 0) {
        qWarning().noquote() << QStringLiteral("%1: %2 further messages from the codec were dropped on that connection")
                                    .arg(log_name())
                                    .arg(unlogged_dropped_frames_);
        unlogged_dropped_frames_ = 0;
    }
    int dropped = 0;
    {
        std::lock_guard<SessionMutex> lock(session_mutex_);
        dropped = key_warnings_.take_dropped_count();
    }
    if (dropped == 0) return;
    qWarning().noquote() << QStringLiteral("%1 further warnings about unknown keys were dropped on the connection "
                                           "of %2")
                                .arg(dropped)
                                .arg(log_name());
}

void IQEndpointClient::on_frame_dropped(const IPCDroppedFrame& frame) {
    const ConnectionFault fault = fault_of_drop(frame);
    if (state() != READY) note_fault(fault);
    note_link_drop(fault);
    // The frame may have held an answer, or ended with one (a frame past the limit runs on to the
    // next NUL): reads are asked again now, or at the tick once the bound lets them.
    is_reask_due_ = true;
    const int64_t now_us = ipc_now_us();
    last_drop_us_ = now_us;
    if (now_us - last_reask_us_ >= kReaskIntervalUs) ask_reads_again(now_us);
    tick_due_changed();
    if (dropped_frames_.fetch_add(1) > 0) {
        ++unlogged_dropped_frames_;
        return;
    }
    first_drop_to_write_ = frame;
    if (state() == READY) write_codec_text_notes();
}

void IQEndpointClient::on_latin1_text() {
    if (has_read_latin1_.exchange(true)) return;
    is_latin1_to_write_ = true;
    if (state() == READY) write_codec_text_notes();
}

void IQEndpointClient::write_codec_text_notes() {
    if (first_drop_to_write_) {
        // Told in the words of the codec's "Last failure". The reason quotes the decoder, which may
        // quote names the codec chose.
        const ConnectionFault fault = fault_of_drop(*first_drop_to_write_);
        QString reason = fault.detail;
        if (reason.size() > kMaxLoggedReasonLength) reason = reason.left(kMaxLoggedReasonLength - 1) + QChar(0x2026);
        qWarning().noquote() << QStringLiteral("%1: %2; it began \"%3\" (further dropped messages are only counted)")
                                    .arg(log_name(), droppedFrameText(fault, reason),
                                         QString::fromStdString(first_drop_to_write_->head));
        first_drop_to_write_.reset();
    }
    if (is_latin1_to_write_) {
        qInfo().noquote()
            << QStringLiteral("%1 writes Latin-1: bytes outside UTF-8 are read as Latin-1 characters").arg(log_name());
        is_latin1_to_write_ = false;
    }
}

bool IQEndpointClient::send_locked(const Message& message, const UnansweredRequests::Note& note) {
    lock_order::assert_no_session_mutex_held("IQEndpointClient::send_locked");
    IQManager* manager = session_manager_;
    if (!manager) {
        qWarning().noquote() << "send: session" << log_name() << "is not placed on a manager; dropping"
                             << QString::fromStdString(message.name());
        return false;
    }
    IPCMutexGuard guard(manager->mutex());
    const std::string seq = message.attributes().get_string("seq", "");
    const int64_t now_us = ipc_now_us();
    // A codec of the old dialect has every answer made up at once by the protocol: none to await.
    const bool is_awaited = version() != 0 && (state() == AUTHENTICATED || state() == READY);
    // A command whose reading someone waits for: the operator's, and those noted so.
    const bool is_followed = seq.empty() && (note.asked != nullptr || note.is_reading_told);
    const bool is_kept_in_flight = is_awaited && (!seq.empty() || is_followed);
    // A request the session cannot keep track of is not sent, and its sender hears so (the
    // scheduler sends it again at its next pass): sent untracked, its refusal could not be paired
    // nor its reading told, and making room by forgetting an older one would lose that one's
    // instead. Only a codec that has left this many unanswered fills the lists, and its link fails
    // at the deadline.
    if (is_kept_in_flight && !in_flight_.has_room(is_followed ? 2 : 1)) return refuse_untracked(message);
    const uint64_t serial = next_send_serial_++;
    // Once answers are awaited, the order they come in tells what a seq-less one may answer: none
    // is forgotten for its age, however slow the link.
    const int64_t reply_timeout_us = is_awaited ? 0 : int64_t{timeout()} * 1000000;
    if (seq.empty() && !unanswered_requests_.add(message.name(), now_us, note, reply_timeout_us, serial) &&
        is_awaited) {
        return refuse_untracked(message);
    }
    if (is_kept_in_flight) add_in_flight(message, now_us, note, serial);
    send(message);
    if (is_awaited && is_followed) {
        const session_requests::Request ping(session_requests::kPing);
        add_in_flight(ping.message(), now_us, {}, next_send_serial_++);
        send(ping.message());
    }
    return true;
}

bool IQEndpointClient::refuse_untracked(const Message& message) {
    warn_once(QStringLiteral("requests untracked"),
              QStringLiteral("%1 leaves too many requests unanswered: not sending %2 (nor any other request while "
                             "it does)")
                  .arg(log_name(), QString::fromStdString(message.name())));
    return false;
}

void IQEndpointClient::add_in_flight(const Message& message, int64_t now_us, const UnansweredRequests::Note& note,
                                     uint64_t serial) {
    const IPCConn* conn = connection();
    in_flight_.add({message.name(), message.attributes().get_string("seq", ""), now_us, note, serial,
                    conn ? conn->arriving_frames_us() : 0,
                    session_requests::is_read(message) ? std::make_shared<const Message>(message) : nullptr});
    tick_due_changed();
}

void IQEndpointClient::ask_reads_again(int64_t now_us) {
    is_reask_due_ = false;
    // Each copy is kept at its own place in the order (RequestsInFlight): a second answer of the
    // same seq is the copy's, never a later request's.
    const std::vector<std::shared_ptr<const Message>> reads = in_flight_.ask_reads_again(next_send_serial_);
    if (reads.empty()) return;
    last_reask_us_ = now_us;
    for (const std::shared_ptr<const Message>& read : reads) send(*read);
}

void IQEndpointClient::probe_if_quiet(int64_t now_us) {
    // A legacy codec's answers are made up by its protocol: a probe would prove nothing. A request
    // whose answer may never come does not keep the probe away: its answer settles it.
    if (state() != READY || version() == 0 || in_flight_.awaits_any()) {
        last_probe_us_ = now_us;
        return;
    }
    if (now_us < next_probe_us()) return;
    last_probe_us_ = now_us;
    const session_requests::Request ping(session_requests::kPing);
    add_in_flight(ping.message(), now_us, {}, next_send_serial_++);
    send(ping.message());
}

void IQEndpointClient::set_probe_interval_us(int64_t interval_us) {
    IQManager* manager = session_manager_;
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    probe_interval_us_ = interval_us;
    tick_due_changed();
}

int64_t IQEndpointClient::next_probe_us() const {
    const int64_t interval_us = std::max<int64_t>(1, probe_interval_us_);
    const int64_t step_us = std::min(kProbeStepUs, interval_us);
    // Each manager's batches keep apart from another's within the step (the same shift for all its
    // sessions, from the manager object), so that the answers to one come back together rather
    // than between the others'.
    const uint64_t manager_mix = reinterpret_cast<uintptr_t>(session_manager_.load()) * 11400714819323198485ull;
    const int64_t phase_us =
        static_cast<int64_t>(probe_phase_ % static_cast<uint64_t>(interval_us / step_us)) * step_us +
        static_cast<int64_t>((manager_mix >> 32) % static_cast<uint64_t>(step_us));
    return phase_us + (floor_div(last_probe_us_ - phase_us, interval_us) + 1) * interval_us;
}

std::vector<UnansweredRequests::Request> IQEndpointClient::take_answerable_requests() {
    return unanswered_requests_.take_answered(in_flight_.oldest_awaited_serial());
}

void IQEndpointClient::settle_in_flight(const std::string& seq) {
    const RequestsInFlight::Settlement settled = in_flight_.settle(seq);
    // A refusal of one of those has come by now: none of them is awaited any more.
    if (settled.read_through != 0) unanswered_requests_.forget_read_through(settled.read_through);
    if (!settled.commands_read.empty()) on_commands_read(settled.commands_read);
    if (settled.is_operators) queue_signal(&IQEndpointClient::answers_settled);
    if (!in_flight_.awaits_any()) {
        // The link has just answered: the next probe may wait its turn. A missing report is
        // awaited from now on.
        last_probe_us_ = ipc_now_us();
        tick_due_changed();
    }
}

bool IQEndpointClient::awaits_answer(const std::string& seq) {
    IQManager* manager = session_manager_;
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    return in_flight_.awaits(seq);
}

void IQEndpointClient::set_answer_deadline_us(int64_t deadline_us) {
    IQManager* manager = session_manager_;
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    in_flight_.set_deadline_us(deadline_us);
    tick_due_changed();
}

void IQEndpointClient::tell_link_lost() {
    std::vector<RequestsInFlight::Request> unsettled = in_flight_.take_all();
    if (unsettled.empty()) return;
    on_link_lost(unsettled, end_of_connection_);
    const bool had_operators =
        std::any_of(unsettled.cbegin(), unsettled.cend(),
                    [](const RequestsInFlight::Request& request) { return request.note.asked != nullptr; });
    if (had_operators) queue_signal(&IQEndpointClient::answers_settled);
}

// ------------------------------------------------------------------------------------------------
// Why a connection failed

ConnectionFault IQEndpointClient::last_fault() {
    std::lock_guard<SessionMutex> lock(session_mutex_);
    return last_fault_;
}

void IQEndpointClient::note_fault(const ConnectionFault& fault) {
    bool is_news = false;
    {
        std::lock_guard<SessionMutex> lock(session_mutex_);
        is_news = last_fault_ != fault;
        last_fault_ = fault;
    }
    if (is_news) queue_signal(&IQEndpointClient::fault_noted);
}

LinkDrops IQEndpointClient::link_drops() {
    std::lock_guard<SessionMutex> lock(session_mutex_);
    return link_drops_;
}

void IQEndpointClient::note_link_drop(const ConnectionFault& why) {
    {
        std::lock_guard<SessionMutex> lock(session_mutex_);
        ++link_drops_.count;
        link_drops_.last_at = QDateTime::currentDateTimeUtc();
        link_drops_.last = why;
    }
    // A codec that drops a frame in ten would otherwise wake the views with each.
    queue_signal(&IQEndpointClient::link_drops_noted, SessionInbox::Delivery::kNewestOnly);
}

void IQEndpointClient::forget_link_drops(const QDateTime& seen_at) {
    bool had_drops = false;
    {
        std::lock_guard<SessionMutex> lock(session_mutex_);
        had_drops = link_drops_.count > 0;
        link_drops_ = {};
        link_drops_.counted_since = seen_at;
    }
    // In order, never folded into a drop's signal: forget_data may yet drop that one.
    if (had_drops) queue_signal(&IQEndpointClient::link_drops_noted);
}

void IQEndpointClient::note_end(const ConnectionFault& fault) {
    if (fault.kind == ConnectionFault::kNone || end_of_connection_.kind != ConnectionFault::kNone) return;
    end_of_connection_ = fault;
    note_fault(fault);
}

ConnectionFault IQEndpointClient::fault_of_drop(const IPCDroppedFrame& frame) {
    if (frame.kind == IPCDroppedFrame::kTooLarge) {
        return {ConnectionFault::kFrameTooLarge, {}, static_cast<qint64>(frame.size)};
    }
    // The reader's text names the operation first, which tells an operator nothing.
    const std::string_view error = ipc_error_reason(frame.error);
    return {ConnectionFault::kFrameUnreadable, QString::fromUtf8(error.data(), static_cast<int>(error.size())), 0};
}

ConnectionFault IQEndpointClient::fault_of_close(const IPCConn& connection) const {
    const std::string& error = connection.error();
    if (error.empty()) return {};
    const QString text = QString::fromStdString(error);
    if (!has_been_connected_) return {ConnectionFault::kCouldNotConnect, text, 0};
    if (connection.is_closed_by_peer()) return {ConnectionFault::kClosedByCodec, {}, 0};
    return {ConnectionFault::kConnectionError, text, 0};
}

ConnectionFault IQEndpointClient::fault_of_silence(const IPCConn* connection, const ConnectionFault& silent) {
    if (!connection || !connection->is_trickling()) return silent;
    const int64_t seconds = (ipc_now_us() - connection->arriving_frame_started_us()) / 1000000;
    const QString detail =
        QStringLiteral("%1 bytes of one message in %2 s").arg(connection->arriving_frame_bytes()).arg(seconds);
    return {ConnectionFault::kTooSlow, detail, static_cast<qint64>(connection->arriving_frame_bytes())};
}

void IQEndpointClient::set_password(const std::string& password) {
    IQManager* manager = session_manager_;
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    password_ = password;
}

std::string IQEndpointClient::getPassword() const {
    // The protocol asks on the loop thread, which already holds the manager lock.
    return password_;
}

int IQEndpointClient::reconnect_delay() const {
    return should_reconnect_ ? kReconnectDelayS : 0;
}

void IQEndpointClient::on_connection_state() {
    IPCEndpointClient::on_connection_state();
    IPCConn* conn = connection();
    const int connection_state = conn ? conn->state() : IPCConn::CLOSED;
    if (connection_state == IPCConn::CONNECTED) {
        has_been_connected_ = true;
        set_state(CONNECTED);
    } else if (connection_state > IPCConn::CLOSED && connection_state < IPCConn::CONNECTED) {
        set_state(CONNECTING);
    } else if (connection_state == IPCConn::CLOSED) {
        if (conn) note_end(fault_of_close(*conn));
        if (state() != AUTH_FAILED) set_state(DISCONNECTED);
    }
}

void IQEndpointClient::on_authenticated() {
    IPCEndpointClient::on_authenticated();
    set_state(AUTHENTICATED);
}

void IQEndpointClient::on_auth_failed() {
    note_end({ConnectionFault::kLoginRefused, {}, 0});
    set_state(AUTH_FAILED);
}

void IQEndpointClient::on_timeout() {
    note_end(fault_of_silence(connection(), {ConnectionFault::kTimedOut, {}, 0}));
    IPCEndpointClient::on_timeout();
    set_state(TIMED_OUT);
}

void IQEndpointClient::tick() {
    IPCEndpointClient::tick();
    IPCConn* conn = connection();
    if (!conn || !conn->is_open() || conn->is_failed()) return;
    const int64_t now_us = ipc_now_us();
    if (is_reask_due_ && now_us - last_reask_us_ >= kReaskIntervalUs) ask_reads_again(now_us);
    // A link whose far end still reports but no longer reads shows only here: nothing answers.
    const std::optional<RequestsInFlight::Request> overdue = in_flight_.overdue(now_us, conn->arriving_frames_us());
    if (overdue) {
        fail_unanswered(*conn, *overdue);
        return;
    }
    if (fail_missing_report(*conn, now_us)) return;
    probe_if_quiet(now_us);
}

int64_t IQEndpointClient::next_tick_due_us() const {
    int64_t due_us = IPCEndpointClient::next_tick_due_us();
    const IPCConn* conn = connection();
    if (!conn || !conn->is_open() || conn->is_failed()) return due_us;
    if (is_reask_due_) due_us = std::min(due_us, last_reask_us_ + kReaskIntervalUs);
    due_us = std::min(due_us, in_flight_.next_deadline_us());
    if (in_flight_.awaits_any()) return due_us;
    // Its clock starts at the first tick that finds only the report missing: one at once.
    if (state() == AUTHENTICATED && !required_.isEmpty()) {
        due_us =
            std::min(due_us,
                     awaiting_own_report_since_us_ == 0 ? 0 : awaiting_own_report_since_us_ + in_flight_.deadline_us());
    }
    if (state() == READY && version() != 0) due_us = std::min(due_us, next_probe_us());
    return due_us;
}

bool IQEndpointClient::fail_missing_report(IPCConn& connection, int64_t now_us) {
    // Logged in, every answer in, and still not READY: what is missing is a report the codec sends
    // unasked after its login ("systemOpts"), lost in a frame that was dropped. Nothing can ask for
    // it again; a new login makes the codec send it again.
    if (state() != AUTHENTICATED || in_flight_.awaits_any() || required_.isEmpty()) {
        awaiting_own_report_since_us_ = 0;
        return false;
    }
    if (awaiting_own_report_since_us_ == 0) awaiting_own_report_since_us_ = now_us;
    if (now_us - awaiting_own_report_since_us_ < in_flight_.deadline_us()) return false;
    const QString missing = required_.join(QStringLiteral(", "));
    qWarning().noquote() << log_name() << ": logged in, but" << missing << "did not come for"
                         << in_flight_.deadline_us() / 1000000 << "s; dropping the connection";
    note_end({ConnectionFault::kNoAnswer, missing, 0, last_drop_us_ != 0});
    connection.abort("no " + missing.toStdString());
    awaiting_own_report_since_us_ = 0;
    return true;
}

void IQEndpointClient::fail_unanswered(IPCConn& connection, const RequestsInFlight::Request& overdue) {
    qWarning().noquote() << log_name() << ": no answer to" << QString::fromStdString(overdue.name) << "for"
                         << in_flight_.deadline_us() / 1000000 << "s; dropping the connection";
    // The operator is told of their own requests, never of the program's probe: a ping stands for
    // the command it follows, if any.
    std::optional<RequestsInFlight::Request> told = overdue;
    if (overdue.seq == session_requests::kPing.seq) told = in_flight_.oldest_asked();
    note_end(fault_of_silence(&connection,
                              {ConnectionFault::kNoAnswer, told ? QString::fromStdString(told->name) : QString(), 0,
                               last_drop_us_ >= overdue.sent_us}));
    connection.abort("no answer to " + overdue.name);
}

bool IQEndpointClient::cached_message(const QString& key, Message& out) {
    std::lock_guard<SessionMutex> lock(session_mutex_);
    const auto it = cache_.constFind(key);
    if (it == cache_.constEnd()) return false;
    out = *it.value();
    return true;
}

IQEndpointClient::SharedMessage IQEndpointClient::shared_cached_message(const QString& key) {
    std::lock_guard<SessionMutex> lock(session_mutex_);
    return cache_.value(key);
}

int IQEndpointClient::cached_key_count() {
    std::lock_guard<SessionMutex> lock(session_mutex_);
    return cache_.size();
}

void IQEndpointClient::cache_message(const Message& message, const QString& key) {
    store(message, key, true);
}

IQEndpointClient::SharedMessage IQEndpointClient::store(Message message, const QString& key, bool is_handled) {
    if (message.name().empty() && !message.attributes().not_empty() && message.size() == 0) {
        qWarning() << "IQ Warning: storing empty message into cache with msgname=" << key;
    }
    auto copy = std::make_shared<const Message>(std::move(message));
    {
        std::lock_guard<SessionMutex> lock(session_mutex_);
        if (is_handled || cache_.size() < kMaxUnhandledKeys || cache_.contains(key)) {
            cache_[key] = copy;
            return copy;
        }
    }
    warn_once(QStringLiteral("reply cache full"),
              QStringLiteral("reply cache of %1 full: no longer storing keys that nothing handles on this "
                             "connection (first refused: %2)")
                  .arg(log_name(), key));
    return nullptr;
}

void IQEndpointClient::cache_shared(const QString& key, SharedMessage part) {
    std::lock_guard<SessionMutex> lock(session_mutex_);
    cache_[key] = std::move(part);
}

QString IQEndpointClient::report_key(const std::string& id) {
    QString key = QString::fromUtf8(id.data(), static_cast<int>(id.size()));
    key.replace(QLatin1Char('.'), QLatin1Char('_')).replace(QLatin1Char(':'), QLatin1Char('_'));
    return key;
}

void IQEndpointClient::cache_message_by_own_name(const Message& message) {
    cache_message(message, QString::fromStdString(message.name()));
}

void IQEndpointClient::warn_about_key(const QString& key, const QString& text) {
    KeyWarnings::Verdict verdict;
    {
        std::lock_guard<SessionMutex> lock(session_mutex_);
        verdict = key_warnings_.admit(key);
    }
    if (verdict == KeyWarnings::Verdict::kWrite) {
        qWarning().noquote() << text;
    } else if (verdict == KeyWarnings::Verdict::kWriteLast) {
        qWarning().noquote() << text << "(further unknown keys on this connection are only counted)";
    }
}

void IQEndpointClient::warn_once(const QString& key, const QString& text) {
    bool is_new = false;
    {
        std::lock_guard<SessionMutex> lock(session_mutex_);
        is_new = key_warnings_.admit_fixed(key);
    }
    if (is_new) qWarning().noquote() << text;
}

void IQEndpointClient::tick_required(const QString& key) {
    if (required_.removeAll(key) > 0 && required_.isEmpty()) {
        queue_signal(&IQEndpointClient::finalRequiredMessageReceived);
    }
}

void IQEndpointClient::set_required(const QStringList& names) {
    std::lock_guard<SessionMutex> lock(session_mutex_);
    required_.clear();
    // A required report that came in between the connect and the login result already counts.
    for (const QString& name : names) {
        if (!cache_.contains(name)) required_.append(name);
    }
}

IQEndpointClient::ReportRoute IQEndpointClient::report_route(const std::string& id) {
    const auto found = std::find_if(routes_by_id_.begin(), routes_by_id_.end(),
                                    [&id](const auto& entry) { return entry.first == id; });
    if (found != routes_by_id_.end()) {
        // One step to the front per use: the ids a codec sends most end up where the scan starts.
        if (found == routes_by_id_.begin()) return found->second;
        std::iter_swap(found, found - 1);
        return (found - 1)->second;
    }
    const ReportRoute route = key_route(report_key(id));
    // Ids without a slot are the codec's choice: remembered only up to a bound.
    if (route.slot >= 0 || routes_by_id_.size() < static_cast<size_t>(kMaxCachedKeys))
        routes_by_id_.emplace_back(id, route);
    return route;
}

IQEndpointClient::ReportRoute IQEndpointClient::key_route(const QString& key) {
    return ReportRoute{key, slot_index(report_slot_name(key), true)};
}

QByteArray IQEndpointClient::slot_signature(const QString& slot_name, bool has_argument) {
    return signature_text(slot_name, has_argument).toLatin1();
}

int IQEndpointClient::slot_index(const QString& slot_name, bool has_argument) {
    const QString signature = signature_text(slot_name, has_argument);
    const auto found = slot_index_by_signature_.constFind(signature);
    if (found != slot_index_by_signature_.constEnd()) return found.value();
    const int index = metaObject()->indexOfMethod(signature.toLatin1().constData());
    // Names without a slot are the codec's choice: remembered only up to a bound.
    if (index >= 0 || slot_index_by_signature_.size() < kMaxCachedKeys) {
        slot_index_by_signature_.insert(signature, index);
    }
    return index;
}

SessionInbox::Delivery IQEndpointClient::delivery_of(const QString&) const {
    return SessionInbox::Delivery::kData;
}

void IQEndpointClient::queue_call(int method_index, std::shared_ptr<const void> argument,
                                  SessionInbox::Delivery delivery) {
    inbox_->post(this, method_index, std::move(argument), delivery);
}

void IQEndpointClient::queue_signal(void (IQEndpointClient::*signal)(), SessionInbox::Delivery delivery) {
    inbox_->post(this, QMetaMethod::fromSignal(signal).methodIndex(), nullptr, delivery);
}

void IQEndpointClient::handle_response(const Message& reply) {
    if (!reply.attributes().has("seq")) return;
    const QString key = QString::fromStdString(reply.attributes().get_string("seq", ""));
    const int slot = slot_index(reply_slot_name(key), true);
    const SharedMessage shared = store(reply, key, slot >= 0 || is_required(key));
    if (slot >= 0) {
        queue_call(slot, shared, delivery_of(key));
    } else {
        std::string text;
        reply.serialize(Message::XML, text, false);
        warn_about_key(key, QStringLiteral("missing response: ") + QString::fromStdString(text));
    }
    tick_required(key);
}

void IQEndpointClient::handle_unsolicited(const Message& message) {
    dispatch_report(message, report_route(message.attributes().get_string("id", "")));
}

void IQEndpointClient::dispatch_report(const Message& message, const ReportRoute& route) {
    const SharedMessage shared = store(take(message), route.key, route.slot >= 0 || is_required(route.key));
    if (shared) file_report_parts(route.key, shared);
    if (route.slot >= 0) {
        queue_call(route.slot, shared, delivery_of(route.key));
    } else {
        warn_about_key(route.key, QStringLiteral("missing callback ") + report_slot_name(route.key));
    }
    tick_required(route.key);
}
