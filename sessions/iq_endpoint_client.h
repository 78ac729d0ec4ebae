#pragma once

#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <string>

#include "ipc/ipc_endpoint_client.h"
#include "ipc/message.h"
#include "sessions/session_mutex.h"

class IQManager;
class SessionInbox;

// The base of every device session: a Qt object that is also the library's client endpoint. It
// turns the library's connection, login and time-out hooks into one session state, reopens closed
// connections after 4 s (but not after a refused login), supplies the login credentials, caches
// every reply and report, dispatches each to the slot named after it ("cb_resp_" + key or
// "cb_unso_" + key) and reports when the last required reply has arrived.
//
// Threads: the object lives on the GUI thread, where its slots run. The library calls its hooks on
// the socket loop thread of its manager, under the manager lock; slot calls and signals raised
// there reach the GUI thread in order through the thread's SessionInbox. The state is an atomic and
// may be read anywhere. The password is read and written under the manager lock. The reply cache
// is guarded by the session mutex, which may be taken while holding the manager lock but never the
// other way round; its entries are shared with the slot calls and never modified in place.
class IQEndpointClient : public QObject, public IPCEndpointClient {
    Q_OBJECT

public:
    enum DEVICE_STATE {
        TIMED_OUT = -2,
        AUTH_FAILED = -1,
        DISCONNECTED = 0,
        CONNECTING = 1,
        CONNECTED = 2,
        AUTHENTICATED = 3,
        READY = 4,
        CODE_UPLOAD = 5,
        CODE_UPDATE = 6,
    };
    Q_ENUM(DEVICE_STATE)

    static constexpr uint32_t kIdleTimeoutS = 7;
    static constexpr int kReconnectDelayS = 4;
    // Distinct keys one connection may fill the reply cache with; a codec can't grow it further.
    static constexpr int kMaxCachedKeys = 512;

    // A reply or report as cached; shared with the slot call that hands it to the GUI thread.
    using SharedMessage = std::shared_ptr<const Message>;

    IQEndpointClient(const std::string& name, QObject* parent);
    IQEndpointClient(const QString& name, QObject* parent);
    ~IQEndpointClient() override;

    DEVICE_STATE state() const { return static_cast<DEVICE_STATE>(state_.load()); }
    void set_state(DEVICE_STATE new_state);
    void set_endpoint_timeout() { set_timeout(kIdleTimeoutS); }
    const std::string& session_name() const { return session_name_; }

    // The manager this session is placed on; set by the pool, null when not placed.
    IQManager* session_manager() const { return session_manager_; }
    void set_session_manager(IQManager* manager) { session_manager_ = manager; }

    // Takes the manager lock (when placed) around the hand-over to the connection. False, with a
    // warning, when the session is not placed on any manager.
    bool send_locked(const Message& message);
    // The login password (UTF-8); written and read under the manager lock.
    void set_password(const std::string& password);

    int reconnect_delay() const override;
    void on_connection_state() override;
    void on_authenticated() override;
    virtual void after_authenticated() {}
    void on_auth_failed() override;
    std::string getUser() const override { return user_; }
    std::string getPassword() const override;
    virtual bool cached_message(const QString& key, Message& out);
    void handle_response(const Message& reply) override;
    void handle_unsolicited(const Message& message) override;
    void on_timeout() override;
    virtual void cache_message(const Message& message, const QString& key);
    virtual void cache_message_by_own_name(const Message& message);
    virtual void set_required_messages() {}

    SessionMutex& session_mutex() { return session_mutex_; }

signals:
    void cnxn_timed_out();
    void wrong_password();
    void disconnected();
    void connecting();
    void connected();
    void initializing();
    void ready();
    void finalRequiredMessageReceived();

protected:
    // Ticks the key off the required-reply list; signals when the list has just become empty.
    void tick_required(const QString& key);
    // A report's "id" names its slot and cache entry: "cfgStatus:netmgr.tunnel" -> "cfgStatus_netmgr_tunnel".
    static QString report_key(const std::string& id);
    // Stores a copy under the key and returns it; null, with one warning, when the cache has no
    // room for another key.
    SharedMessage store(const Message& message, const QString& key);
    // Caches a report under its key, hands it to "cb_unso_<key>(Message)" and ticks it off the
    // required list. A report the cache has no room for goes no further.
    void dispatch_report(const Message& message, const QString& key);
    // Invokes "cb_resp_<key>()" or "cb_unso_<key>(Message)" (with a non-null argument) on this
    // object: directly when asked for AutoConnection on its own thread, otherwise through the
    // inbox. False when no such slot exists. The method index is looked up once per slot name.
    bool invoke_slot(const QString& slot_name, const SharedMessage& argument, Qt::ConnectionType type);
    // Emits the signal on this object's thread: at once when called there, otherwise through the
    // inbox, behind the slot calls already queued.
    void raise_on_own_thread(void (IQEndpointClient::*signal)());
    // Warns once per key and connection (a codec repeating an unknown report must not flood the log).
    void warn_once(const QString& key, const QString& text);
    // True when the reply may be cached: a known key, or room for one more.
    bool has_cache_room(const QString& key) const;
    // Replaces the required-reply list, leaving out names already cached on this connection.
    void set_required(const QStringList& names);
    bool is_required_list_empty() const { return required_.isEmpty(); }

private:
    void forget_connection_state();
    int slot_index(const QString& slot_name, bool has_argument);

    std::string user_;      // always empty for codec sessions
    std::string password_;  // guarded by the manager lock
    std::string session_name_;
    std::atomic<int> state_{DISCONNECTED};
    bool should_reconnect_ = true;
    std::atomic<IQManager*> session_manager_{nullptr};

    SessionMutex session_mutex_;
    std::shared_ptr<SessionInbox> inbox_;  // of the thread the session was made on; set once
    QMap<QString, SharedMessage> cache_;  // guarded by session_mutex_; entries are never modified
    QStringList required_;                // socket loop thread, under the manager lock
    QSet<QString> warned_keys_;           // socket loop thread
    QHash<QString, int> slot_index_by_name_;  // socket loop thread; -1 = no such slot
};
