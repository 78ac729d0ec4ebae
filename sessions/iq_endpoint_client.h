#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ipc/message/message.h"
#include "ipc/net/ipc_dropped_frame.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "sessions/connection_fault.h"
#include "sessions/key_warnings.h"
#include "sessions/link_drops.h"
#include "sessions/requests_in_flight.h"
#include "sessions/session_inbox.h"
#include "sessions/session_mutex.h"
#include "sessions/unanswered_requests.h"

class IQCommonPooledApp;
class IQManager;

// The base of every device session: a Qt object that is also the library's client endpoint. It
// turns the library's connection, login and time-out hooks into one session state, reopens closed
// connections after 4 s (but not after a refused login), supplies the login credentials, caches
// every reply and report, dispatches each to the slot named after it ("cb_resp_" + key or
// "cb_unso_" + key) and reports when the last required reply has arrived.
//
// It keeps the requests sent on its connection until an answer settles them (RequestsInFlight): one
// with seq unanswered past its deadline (15 s unless set) fails the connection, as the idle
// time-out does, and those left when a connection ends go to on_link_lost. A READY link over which
// nothing awaits an answer is probed with a "ping" every kProbeIntervalUs, so that a link dead
// towards the codec, which still reports, is found without a command (a legacy codec, whose answers
// the protocol makes up, is never probed). Probes keep to a grid of the interval at a phase of the
// session's own, so that sessions that come up together, or are asked together, do not probe
// together; the time since the last answer before a probe stays within the interval. When a frame
// is dropped, the reads awaiting an answer, the probe among them, are asked again at once, since
// the frame may have held one; at most once every kReaskIntervalUs, however many frames are
// dropped. A failure for want of an answer says whether frames were dropped while it was awaited.
// It keeps the last reason a connection failed or a frame was dropped before READY (last_fault)
// until the session is READY again, and what was dropped since the link came up (link_drops) until
// the next connection or until the operator has seen it.
//
// Threads: the object lives on the GUI thread, where its slots run and its signals are emitted. The
// library calls its hooks (on_connection_state, on_authenticated, on_auth_failed, on_timeout,
// handle_response, handle_unsolicited, on_frame_dropped, on_latin1_text, reconnect_delay,
// getPassword) on the socket loop thread of its manager, and on_connection_state also on the GUI
// thread, which connects, disconnects and removes the session; set_state runs on both (READY is
// entered on the GUI thread), and so do set_required_messages and after_authenticated when they run
// inside it. All of them run under the manager lock, which guards the required-reply list, the slot
// lookups, the requests awaiting a seq-less answer, the requests in flight, the reconnect flag and
// the password. None of them emits a signal or calls a slot directly: signals and slot calls go to
// the GUI thread through the thread's SessionInbox, in the order they were raised, and run there
// with no lock held. The state is an atomic and may be read anywhere. The reply cache, the warnings
// about keys a codec chose, the last fault, the link's drops and what a session keeps of reports
// besides (forget_reports) are guarded by the session mutex, which may be taken while holding the
// manager lock, never the other way round; cached entries are shared with the slot calls and never
// modified in place. The placement (pool, manager, name) is written on the GUI thread by the pool;
// the manager is an atomic read anywhere.
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

    // Nothing at all came for longer than this (no message, no byte of one): the link is given up.
    static constexpr uint32_t kIdleTimeoutS = 7;
    // A READY link that awaits no answer is probed within this long after it last did.
    static constexpr int64_t kProbeIntervalUs = 5'000'000;
    // Probes go at whole steps of this into the interval: the sessions of one manager whose probes
    // fall in the same step share the loop's wake-up, and the answers come back together.
    static constexpr int64_t kProbeStepUs = 500'000;
    // Reads are asked again after a dropped frame no more often than this.
    static constexpr int64_t kReaskIntervalUs = 1'000'000;
    static constexpr int kReconnectDelayS = 4;
    // Distinct keys one connection may fill the reply cache with. A key that a slot handles or the
    // required-reply list names is always stored; keys that nothing handles may fill the cache up
    // to kMaxUnhandledKeys, which leaves room for every handled one (a session has far fewer slots).
    static constexpr int kMaxCachedKeys = 512;
    static constexpr int kMaxUnhandledKeys = 448;
    // The longest reason of a dropped frame a log line quotes, in characters.
    static constexpr int kMaxLoggedReasonLength = 200;

    // A reply or report as cached; shared with the slot call that hands it to the GUI thread.
    using SharedMessage = std::shared_ptr<const Message>;
    // Where a report goes: its cache key and the index of "cb_unso_<key>(Message)", -1 for none.
    struct ReportRoute {
        QString key;
        int slot;
    };

    // The dispatch by slot name, for the sessions and for whoever checks that their slots are
    // there: a reply filed under `key` goes to the slot "cb_resp_" + key, a report to "cb_unso_" +
    // key, where a report's key is its "id" with "." and ":" made "_" ("cfgStatus:netmgr.tunnel"
    // goes to cb_unso_cfgStatus_netmgr_tunnel).
    static QString reply_slot_name(const QString& key) { return QStringLiteral("cb_resp_") + key; }
    static QString report_slot_name(const QString& key) { return QStringLiteral("cb_unso_") + key; }
    static QString report_key(const std::string& id);
    // "<slot_name>()", or "<slot_name>(Message)" when `has_argument`: what indexOfMethod finds.
    static QByteArray slot_signature(const QString& slot_name, bool has_argument);

    IQEndpointClient(const std::string& name, QObject* parent);
    IQEndpointClient(const QString& name, QObject* parent);
    // Leaves its manager first, should it still be placed.
    ~IQEndpointClient() override;

    DEVICE_STATE state() const { return static_cast<DEVICE_STATE>(state_.load()); }
    void set_state(DEVICE_STATE new_state);
    void set_endpoint_timeout() { set_timeout(kIdleTimeoutS); }
    const std::string& session_name() const { return session_name_; }
    // How every line of the log names this session: here the endpoint's name; a codec's session
    // names it as the operator sees it (IPCObject::log_name). Any thread.
    virtual QString log_name();

    // Where the pool placed this session: null when not placed.
    IQManager* session_manager() const { return session_manager_; }
    IQCommonPooledApp* session_pool() const { return session_pool_; }
    // Called by the pool only; null pool and manager when the session leaves it.
    void set_placement(IQCommonPooledApp* pool, IQManager* manager, const QString& name);

    // Takes the manager lock (when placed) around the hand-over to the connection. False, with a
    // warning, when the session is not placed on any manager. A request without seq keeps `note`
    // until its answer (take_answerable_requests). Once logged in on a codec that answers for
    // itself, the request is kept in flight until an answer settles it; a command without seq that
    // the operator asked for, or whose note asks that its reading be told, is followed by a "ping",
    // whose answer does. Such a request is not sent, and the answer is false, when the lists of
    // what awaits an answer cannot keep it (RequestsInFlight::kMaxRequests,
    // UnansweredRequests::kMaxRequests). Elsewhere the endpoint's time-out is the reply time-out of
    // a request without seq (UnansweredRequests::add).
    bool send_locked(const Message& message, const UnansweredRequests::Note& note = {});
    // Whether a request of `seq` sent on this connection awaits its answer. Takes the manager lock.
    bool awaits_answer(const std::string& seq);
    // How long a request with seq may go unanswered before the connection fails (by default
    // RequestsInFlight::kAnswerDeadlineUs). Takes the manager lock.
    void set_answer_deadline_us(int64_t deadline_us);
    // How long a READY link that awaits no answer goes unprobed (by default kProbeIntervalUs).
    // Takes the manager lock.
    void set_probe_interval_us(int64_t interval_us);
    // The last reason the connection failed or a frame of the codec was dropped before READY; none
    // since the session was last READY. Takes the session mutex; any thread.
    ConnectionFault last_fault();
    // The frames dropped since this connection came up, the login's included; emptied by the next
    // connection and by forget_link_drops. Takes the session mutex; any thread.
    LinkDrops link_drops();
    // Empties link_drops(), which counts again from `seen_at` (when the operator saw them; null:
    // from the link's start), and tells link_drops_noted when it held any. Takes the session mutex;
    // any thread.
    void forget_link_drops(const QDateTime& seen_at = QDateTime());
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
    // The cached message itself, without a copy (entries are never modified); null when absent.
    SharedMessage shared_cached_message(const QString& key);
    void handle_response(const Message& reply) override;
    void handle_unsolicited(const Message& message) override;
    void on_timeout() override;
    // Each dropped frame counts in link_drops(); before READY its reason also becomes the last fault
    // (note_fault), which a login that then fails is told by. While READY a drop is no failure of
    // the link: link_drops() alone tells it. The first frame the session drops is written to the
    // log with its reason, the codec's address and name, and how it began; later ones are counted,
    // and the count written as their connection ends. A codec tells its
    // name after the login, where bad frames often come: the line waits for READY, or for the end
    // of the connection should that come first.
    void on_frame_dropped(const IPCDroppedFrame& frame) override;
    // Written to the log once in the session's life, when the first line above would be.
    void on_latin1_text() override;
    // Frames dropped since the session was made (on_frame_dropped). Any thread.
    uint64_t dropped_frame_count() const { return dropped_frames_.load(); }
    // Some message of the codec's was read with bytes outside UTF-8 taken as Latin-1. Any thread.
    bool has_read_latin1() const { return has_read_latin1_.load(); }
    // The idle check, reads due to be asked again, the answers' deadline (RequestsInFlight::overdue),
    // then the probe of a quiet link.
    void tick() override;
    // The earliest of the checks tick() makes that can come due.
    int64_t next_tick_due_us() const override;
    // Stores a copy under the key, always (the session's own stores: their keys are its own).
    virtual void cache_message(const Message& message, const QString& key);
    virtual void cache_message_by_own_name(const Message& message);
    virtual void set_required_messages() {}

    SessionMutex& session_mutex() { return session_mutex_; }
    // Keys in the reply cache now; never more than kMaxCachedKeys.
    int cached_key_count();

signals:
    void cnxn_timed_out();
    void wrong_password();
    void disconnected();
    void connecting();
    void connected();
    void initializing();
    void ready();
    void finalRequiredMessageReceived();
    // last_fault() changed.
    void fault_noted();
    // link_drops() changed. Drops that come while the last one is queued are told once.
    void link_drops_noted();
    // An answer settled a request the operator asked for (awaits_answer may have changed).
    void answers_settled();

protected:
    // Drops the connection and leaves the pool (or the manager, when no pool placed it), should
    // the session still be placed: after this no loop reaches it. GUI thread.
    void leave_placement();
    // Drops every call and signal queued for this session and not yet delivered.
    void forget_queued_calls();

    // Ticks the key off the required-reply list; signals when the list has just become empty.
    void tick_required(const QString& key);
    bool is_required(const QString& key) const { return required_.contains(key); }
    // The route of a report id as the codec sends it, looked up once per connection.
    ReportRoute report_route(const std::string& id);
    // The route of a cache key, looked up by its slot's name.
    ReportRoute key_route(const QString& key);
    // Stores the message under the key and returns it (take() a received message to store it
    // without a copy). A key that nothing handles or requires (`is_handled` false) is refused,
    // with a warning, once the cache holds kMaxUnhandledKeys keys; null then.
    SharedMessage store(Message message, const QString& key, bool is_handled);
    // Caches a report under its route's key (taking it over when it is the received message),
    // files its parts (file_report_parts), hands it to the route's slot and ticks it off the
    // required list.
    void dispatch_report(const Message& message, const ReportRoute& route);
    // Files under keys of their own the parts of a report just stored under `key` that the slots
    // read by other names, before the report's slot is queued. Loop thread. Nothing by default.
    virtual void file_report_parts(const QString& /*key*/, const SharedMessage& /*report*/) {}
    // Caches `part` under the key as it is, without a copy: a message that is never modified, or
    // a part of one that keeps the whole alive (std::shared_ptr's aliasing constructor).
    void cache_shared(const QString& key, SharedMessage part);
    // The index of the slot "<slot_name>()", or "<slot_name>(Message)" when `has_argument`; -1
    // when there is none. Each name is looked up once per connection.
    int slot_index(const QString& slot_name, bool has_argument);
    // How a report or reply of this key travels to the GUI thread; the session may let a newer one
    // replace an older one still queued.
    virtual SessionInbox::Delivery delivery_of(const QString& key) const;
    // Called on entering CONNECTING, once the reply cache is emptied: a session drops what else it
    // kept of the old connection's reports. Loop thread (or the thread that connects), under the
    // manager lock.
    virtual void forget_reports() {}
    // Queues a call of the method (absolute index) for this object's thread, with the argument it
    // takes (a message, or a record of the session's own), or none when `argument` is null.
    void queue_call(int method_index, std::shared_ptr<const void> argument, SessionInbox::Delivery delivery);
    // Queues the signal for this object's thread, behind everything queued already, also when
    // raised there: a signal never reaches its receivers inside the code (and locks) that raised it.
    // kNewestOnly folds it into the same signal still queued.
    void queue_signal(void (IQEndpointClient::*signal)(),
                      SessionInbox::Delivery delivery = SessionInbox::Delivery::kInOrder);
    // A warning about a key the codec chose: each key once per connection, the first
    // KeyWarnings::kNamedKeys by name, the rest only counted.
    void warn_about_key(const QString& key, const QString& text);
    // One of the session's own fixed warnings, written once per connection.
    void warn_once(const QString& key, const QString& text);
    // Replaces the required-reply list, leaving out names already cached on this connection.
    void set_required(const QStringList& names);
    bool is_required_list_empty() const { return required_.isEmpty(); }
    // For an answer without "seq": the requests it may belong to, with the notes they were sent
    // with, oldest first; one when that can be told (UnansweredRequests::take_answered). Only those
    // sent before the oldest request whose answer by seq has not come: the codec answers in order.
    std::vector<UnansweredRequests::Request> take_answerable_requests();
    // An answer of `seq` (empty: without one) came: settles the requests in flight it answers.
    // Under the manager lock.
    void settle_in_flight(const std::string& seq);
    // Keeps `fault` as the last fault, and tells fault_noted when it is news. Under the manager
    // lock (the loop thread's hooks hold it): the one way a reason is kept, a dropped frame's too.
    void note_fault(const ConnectionFault& fault);
    // The connection ended (`why`: its reason; none for an end the program asked for) with these
    // requests unsettled, oldest first. Loop thread, or the thread that connects or disconnects,
    // under the manager lock, before the state change that tells of it. Nothing by default.
    virtual void on_link_lost(const std::vector<RequestsInFlight::Request>& /*unsettled*/,
                              const ConnectionFault& /*why*/) {}
    // The codec has read these commands without seq, oldest first, each followed (send_locked)
    // because someone waits to hear of it: any refusal of theirs came before. Loop thread, under
    // the manager lock. Nothing by default.
    virtual void on_commands_read(const std::vector<RequestsInFlight::Request>& /*read*/) {}

private:
    void forget_connection_state();
    // Counts a dropped frame of `why` in link_drops_, stamped now.
    void note_link_drop(const ConnectionFault& why);
    // Explains this connection's end with `fault` (the first explanation holds).
    void note_end(const ConnectionFault& fault);
    // The reason a dropped frame gives.
    static ConnectionFault fault_of_drop(const IPCDroppedFrame& frame);
    // The reason a closed connection's failure gives, as the transport tells it; none for a close
    // the program asked for.
    ConnectionFault fault_of_close(const IPCConn& connection) const;
    // A link given up for silence while a frame still trickled in is told as too slow, not silent.
    static ConnectionFault fault_of_silence(const IPCConn* connection, const ConnectionFault& silent);
    // Hands the requests still in flight to on_link_lost with the connection's reason.
    void tell_link_lost();
    // Fails the connection for the request that waited past its deadline.
    void fail_unanswered(IPCConn& connection, const RequestsInFlight::Request& overdue);
    // Fails a logged-in link that awaits no answer but has, for the answer deadline, lacked a
    // report it needs to be READY. True when it did. Under the manager lock.
    bool fail_missing_report(IPCConn& connection, int64_t now_us);
    // Sends a "ping" when the READY link of a current codec, awaiting no answer, has reached its
    // next place on the probe grid (next_probe_us).
    void probe_if_quiet(int64_t now_us);
    // The first place of this session's probe grid after the last probe (or answer): a step of the
    // interval its name picks, shifted within the step by where its manager's batches go.
    int64_t next_probe_us() const;
    // Sends again every read awaiting its answer.
    void ask_reads_again(int64_t now_us);
    // Warns, once a connection, that `message` goes unsent: the lists of what awaits an answer are
    // full. False.
    bool refuse_untracked(const Message& message);
    // Keeps `message` in flight on the connection (a read with its message, to ask again).
    // `serial`: the order it was sent in, among every request of the connection.
    void add_in_flight(const Message& message, int64_t now_us, const UnansweredRequests::Note& note, uint64_t serial);
    // Writes how many warnings about keys were dropped on the connection that has just ended, and
    // how many frames were dropped on it without a line of their own.
    void report_dropped_warnings();
    // Writes the lines on_frame_dropped and on_latin1_text keep waiting.
    void write_codec_text_notes();

    std::string user_;      // always empty for codec sessions
    std::string password_;  // guarded by the manager lock
    std::string session_name_;
    std::atomic<int> state_{DISCONNECTED};
    bool should_reconnect_ = true;  // guarded by the manager lock
    std::atomic<IQManager*> session_manager_{nullptr};
    IQCommonPooledApp* session_pool_ = nullptr;  // GUI thread
    QString placed_name_;                        // GUI thread; the name the pool placed it under

    SessionMutex session_mutex_;
    std::shared_ptr<SessionInbox> inbox_;  // of the thread the session was made on; set once
    QHash<QString, SharedMessage> cache_;  // guarded by session_mutex_; entries are never modified
    KeyWarnings key_warnings_;             // guarded by session_mutex_; reset with each connection
    QStringList required_;                 // guarded by the manager lock
    // Method index by signature; -1 = no such slot. Guarded by the manager lock; emptied with each
    // connection, and holds at most kMaxCachedKeys names without a slot.
    QHash<QString, int> slot_index_by_signature_;
    // The same for report ids as received, with their keys; bounded and emptied alike. A few ids
    // make up nearly every report: a short scan of adjacent entries, the frequent ones first,
    // beats chasing a container's nodes through memory.
    std::vector<std::pair<std::string, ReportRoute>> routes_by_id_;
    UnansweredRequests unanswered_requests_;  // guarded by the manager lock
    RequestsInFlight in_flight_;              // guarded by the manager lock
    uint64_t next_send_serial_ = 1;           // guarded by the manager lock
    // Guarded by the manager lock: the probe's pace and clock, and the reads to ask again.
    int64_t probe_interval_us_ = kProbeIntervalUs;
    int64_t last_probe_us_ = 0;   // a probe went, or something was awaited or answered
    const uint64_t probe_phase_;  // where in the interval this session's probes go (a hash of its name)
    int64_t last_reask_us_ = 0;
    bool is_reask_due_ = false;  // a frame was dropped since the reads were last asked again
    int64_t last_drop_us_ = 0;   // when this connection last dropped a frame; 0: never
    // Since when the logged-in link has awaited no answer, only a report READY needs; 0 otherwise.
    int64_t awaiting_own_report_since_us_ = 0;
    // Why this connection ended, once known; emptied with each connection. Manager lock.
    ConnectionFault end_of_connection_;
    bool has_been_connected_ = false;           // this connection came up; manager lock
    ConnectionFault last_fault_;                // guarded by session_mutex_
    LinkDrops link_drops_;                      // guarded by session_mutex_
    std::atomic<uint64_t> dropped_frames_{0};   // written on the loop thread under the manager lock
    uint64_t unlogged_dropped_frames_ = 0;      // guarded by the manager lock; since the last count written
    std::atomic<bool> has_read_latin1_{false};  // written on the loop thread under the manager lock
    // Guarded by the manager lock: the lines waiting for the codec's name (on_frame_dropped).
    std::optional<IPCDroppedFrame> first_drop_to_write_;
    bool is_latin1_to_write_ = false;
};
