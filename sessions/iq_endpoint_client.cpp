#include "sessions/iq_endpoint_client.h"

#include <QDebug>
#include <QMetaEnum>
#include <QMetaMethod>
#include <QThread>

#include <mutex>

#include "ipc/ipc_conn.h"
#include "ipc/ipc_mutex_guard.h"
#include "sessions/iq_manager.h"
#include "sessions/lock_order.h"
#include "sessions/session_inbox.h"
#include "sessions/session_meta_types.h"

namespace {

const char* state_name(int state) {
    return QMetaEnum::fromType<IQEndpointClient::DEVICE_STATE>().valueToKey(state);
}

}  // namespace

IQEndpointClient::IQEndpointClient(const std::string& name, QObject* parent)
    : QObject(parent), session_name_(name), inbox_(SessionInbox::for_current_thread()) {}

IQEndpointClient::IQEndpointClient(const QString& name, QObject* parent)
    : IQEndpointClient(name.toStdString(), parent) {}

IQEndpointClient::~IQEndpointClient() {
    inbox_->forget(this);
}

void IQEndpointClient::set_state(DEVICE_STATE new_state) {
    const int old_state = state_.load();
    if (old_state == new_state) return;
    qDebug().nospace() << "set_state (" << this << "): " << state_name(old_state) << " to "
                       << state_name(new_state);
    state_.store(new_state);

    switch (new_state) {
    case TIMED_OUT:
        raise_on_own_thread(&IQEndpointClient::cnxn_timed_out);
        break;
    case AUTH_FAILED:
        should_reconnect_ = false;
        raise_on_own_thread(&IQEndpointClient::wrong_password);
        break;
    case DISCONNECTED:
        raise_on_own_thread(&IQEndpointClient::disconnected);
        break;
    case CONNECTING:
        should_reconnect_ = true;
        forget_connection_state();
        raise_on_own_thread(&IQEndpointClient::connecting);
        break;
    case CONNECTED:
        raise_on_own_thread(&IQEndpointClient::connected);
        break;
    case AUTHENTICATED:
        set_required_messages();
        after_authenticated();
        break;
    case READY:
        raise_on_own_thread(&IQEndpointClient::ready);
        break;
    case CODE_UPLOAD:
    case CODE_UPDATE:
        break;
    }
}

void IQEndpointClient::forget_connection_state() {
    {
        std::lock_guard<SessionMutex> lock(session_mutex_);
        cache_.clear();
    }
    warned_keys_.clear();
}

bool IQEndpointClient::send_locked(const Message& message) {
    lock_order::assert_no_session_mutex_held("IQEndpointClient::send_locked");
    IQManager* manager = session_manager_;
    if (!manager) {
        qWarning() << "send: session" << QString::fromStdString(session_name_)
                   << "is not placed on a manager; dropping" << QString::fromStdString(message.name());
        return false;
    }
    IPCMutexGuard guard(manager->mutex());
    send(message);
    return true;
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
        set_state(CONNECTED);
    } else if (connection_state > IPCConn::CLOSED && connection_state < IPCConn::CONNECTED) {
        set_state(CONNECTING);
    } else if (connection_state == IPCConn::CLOSED && state() != AUTH_FAILED) {
        set_state(DISCONNECTED);
    }
}

void IQEndpointClient::on_authenticated() {
    IPCEndpointClient::on_authenticated();
    set_state(AUTHENTICATED);
}

void IQEndpointClient::on_auth_failed() {
    set_state(AUTH_FAILED);
}

void IQEndpointClient::on_timeout() {
    IPCEndpointClient::on_timeout();
    set_state(TIMED_OUT);
}

bool IQEndpointClient::cached_message(const QString& key, Message& out) {
    std::lock_guard<SessionMutex> lock(session_mutex_);
    const auto it = cache_.constFind(key);
    if (it == cache_.constEnd()) return false;
    out = *it.value();
    return true;
}

bool IQEndpointClient::has_cache_room(const QString& key) const {
    return cache_.size() < kMaxCachedKeys || cache_.contains(key);
}

void IQEndpointClient::cache_message(const Message& message, const QString& key) {
    store(message, key);
}

IQEndpointClient::SharedMessage IQEndpointClient::store(const Message& message, const QString& key) {
    if (message.name().empty() && !message.attributes().not_empty() && message.size() == 0) {
        qWarning() << "IQ Warning: storing empty message into cache with msgname=" << key;
    }
    auto copy = std::make_shared<const Message>(message);
    std::lock_guard<SessionMutex> lock(session_mutex_);
    if (!has_cache_room(key)) {
        warn_once(key, QStringLiteral("reply cache full: not storing ") + key);
        return nullptr;
    }
    cache_[key] = copy;
    return copy;
}

QString IQEndpointClient::report_key(const std::string& id) {
    QString key = QString::fromUtf8(id.data(), static_cast<int>(id.size()));
    key.replace(QLatin1Char('.'), QLatin1Char('_')).replace(QLatin1Char(':'), QLatin1Char('_'));
    return key;
}

void IQEndpointClient::cache_message_by_own_name(const Message& message) {
    cache_message(message, QString::fromStdString(message.name()));
}

void IQEndpointClient::warn_once(const QString& key, const QString& text) {
    if (warned_keys_.contains(key)) return;
    warned_keys_.insert(key);
    qWarning().noquote() << text;
}

void IQEndpointClient::tick_required(const QString& key) {
    if (required_.removeAll(key) > 0 && required_.isEmpty()) {
        raise_on_own_thread(&IQEndpointClient::finalRequiredMessageReceived);
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

int IQEndpointClient::slot_index(const QString& slot_name, bool has_argument) {
    auto it = slot_index_by_name_.constFind(slot_name);
    if (it == slot_index_by_name_.constEnd()) {
        const QString signature = slot_name + (has_argument ? QStringLiteral("(Message)") : QStringLiteral("()"));
        it = slot_index_by_name_.insert(slot_name, metaObject()->indexOfMethod(signature.toLatin1().constData()));
    }
    return it.value();
}

bool IQEndpointClient::invoke_slot(const QString& slot_name, const SharedMessage& argument, Qt::ConnectionType type) {
    const int index = slot_index(slot_name, argument != nullptr);
    if (index < 0) return false;
    if (type == Qt::AutoConnection && QThread::currentThread() == thread()) {
        void* arguments[] = {nullptr, const_cast<Message*>(argument.get())};
        QMetaObject::metacall(this, QMetaObject::InvokeMetaMethod, index, arguments);
    } else {
        inbox_->post(this, index, argument);
    }
    return true;
}

void IQEndpointClient::raise_on_own_thread(void (IQEndpointClient::*signal)()) {
    if (QThread::currentThread() == thread()) {
        (this->*signal)();
        return;
    }
    inbox_->post(this, QMetaMethod::fromSignal(signal).methodIndex(), nullptr);
}

void IQEndpointClient::handle_response(const Message& reply) {
    if (!reply.attributes().has("seq")) return;
    const QString key = QString::fromStdString(reply.attributes().get_string("seq", ""));
    const SharedMessage shared = store(reply, key);
    if (!shared) return;
    if (!invoke_slot(QStringLiteral("cb_resp_") + key, shared, Qt::AutoConnection)) {
        std::string text;
        reply.serialize(Message::XML, text, false);
        warn_once(key, QStringLiteral("missing response: ") + QString::fromStdString(text));
    }
    tick_required(key);
}

void IQEndpointClient::handle_unsolicited(const Message& message) {
    dispatch_report(message, report_key(message.attributes().get_string("id", "")));
}

void IQEndpointClient::dispatch_report(const Message& message, const QString& key) {
    const SharedMessage shared = store(message, key);
    if (!shared) return;
    const QString slot_name = QStringLiteral("cb_unso_") + key;
    if (!invoke_slot(slot_name, shared, Qt::AutoConnection)) warn_once(key, QStringLiteral("missing callback ") + slot_name);
    tick_required(key);
}
