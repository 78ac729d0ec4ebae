#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ipc/message/message.h"
#include "ipc/net/socket_callback.h"
#include "platform/readiness_poller.h"
#include "platform/wake_event.h"

class IPCAddress;
class IPCConn;
class IPCEndpointClient;
class IPCEndpointServer;
class IPCMutex;
class IPCProtocol;
class IPCServer;

// Owns the sockets of one worker and serves them all on one thread: event_loop() waits for
// readiness on every open socket and on a wake event, dispatches writes, reads and closes, closes
// failed connections, reopens closed ones after their endpoint's reconnect delay, and ticks each
// endpoint when its next check is due. It also runs listening servers: their accepted connections,
// their server endpoints and the messages published to them, ticked on a timer.
//
// The endpoints' ticks wait in one queue ordered by due time (IPCEndpoint::next_tick_due_us), so
// that the loop's wait ends at the earliest of them and an iteration with nothing due ticks and
// scans nothing. An endpoint whose check comes due sooner says so (schedule_tick); a tick asks the
// endpoint again for its next one.
//
// Every open socket stays registered in one readiness poller from attach to close, so a wait costs
// what was ready, not what is open. A wait that readiness alone ended dispatches only what it
// reported; the loop looks at all of its sockets (closing failed ones, reopening, handing on input
// kept during a read hold, reaping servers' closed connections) after any wake() and whenever a
// reconnect or a paused server is due.
//
// Threads: event_loop() runs on one thread, which owns every socket, connection, protocol and
// endpoint of the manager. Other threads may call connect(), disconnect(), add_endpoint(),
// remove_endpoint(), send_via(), forward_via(), listen(), close_server(), the server_* operations,
// find_server_match() and publish(), each taking the lock that get_lock() returns (recursive; the
// loop holds it for each iteration except the wait), and schedule_tick(); post() and
// post_request(), which take only the lock that get_queue_lock() returns (the loop takes it alone,
// to empty the queues); and stop(), set_timer_interval() and wake() at any time. The base class
// returns no locks and so is for one thread only; a manager shared between threads overrides
// get_lock(), and get_queue_lock() when other threads post to it.
// Every loop object goes the same way: released connections, dropped endpoints of the manager's
// own, servers' closed connections and finished endpoints, and removed servers are closed at once
// and deleted by the loop thread at the start of its next iteration. The loop never dispatches a
// deleted socket, and an object that ends itself from one of its callbacks is still whole when
// that callback returns.
class IPCManager : public SocketCallback {
public:
    static constexpr uint32_t kFailedWaitPauseMs = 1000;
    // A loop that has not looked at its sockets for this long stood still itself (a stopped process,
    // a suspended machine, a lock held long): it reads what waits in them before any tick.
    static constexpr int64_t kOwnPauseUs = 2'000'000;
    // How many times over a catch-up after such a pause reads each socket that still has bytes.
    static constexpr int kCatchUpReads = 64;

    explicit IPCManager(platform::ReadinessPoller::Backend backend = platform::ReadinessPoller::default_backend());
    // The loop must have ended: a subclass stops it and waits for it (wait_for_loop_exit) in its own
    // destructor, while its overrides still exist. A manager destroyed with its loop running is a
    // misuse (ipc_report_misuse); it stops the loop and waits for it before anything is freed.
    ~IPCManager() override;
    IPCManager(const IPCManager&) = delete;
    IPCManager& operator=(const IPCManager&) = delete;

    // Watches the socket as it is now: registers a new descriptor, follows a change of interest,
    // forgets a closing one. Under the lock.
    void socket_callback(IPCSocket* socket) override;
    void wake() override;

    virtual void on_loop() {}
    virtual IPCEndpointClient* create_endpoint_client(const std::string& name);
    // The server endpoint for a new peer of the named server.
    virtual IPCEndpointServer* create_endpoint_server(const std::string& server_name);
    // The server protocol of that name for an accepted connection, or null; a server application
    // may supply protocol variants of its own here.
    virtual IPCProtocol* create_server_protocol(const std::string& name, IPCConn* connection);
    virtual void endpoint_destroyed(const std::string& /*name*/) {}
    virtual IPCMutex* get_lock() const { return nullptr; }
    virtual IPCMutex* get_queue_lock() const { return nullptr; }
    // Runs with the servers' ticks, on the timer's period while the manager has a server.
    virtual void on_timer_hook() {}
    virtual void destroy_endpoint(IPCEndpointClient* endpoint);

    // Runs the socket loop on the calling thread until stop().
    void event_loop();
    // Ends the loop after the iteration under way; does not wait.
    void stop();
    // Waits until event_loop() has returned (at once when it is not running); false on time-out.
    // A negative time-out waits without limit.
    bool wait_for_loop_exit(int timeout_ms);

    // Finds or creates the endpoint `name`, gives it a new connection with the named protocol and
    // starts a non-blocking connect to the address.
    void connect(const std::string& protocol, const std::string& transport, const IPCAddress& address,
                 const std::string& name, int option);
    // Registers an endpoint owned by the caller; a name in use leaves everything as it was.
    void add_endpoint(const std::string& name, IPCEndpointClient* endpoint);
    // Unregisters the endpoint; one the manager made is destroyed at the loop's next iteration, one
    // registered from outside is left to its owner with its connection and no link back to this
    // manager.
    void remove_endpoint(const std::string& name);
    // Drops the named endpoint's connection for good; an endpoint the manager made is unregistered
    // and destroyed at the loop's next iteration.
    void disconnect(const std::string& name);
    // The servers' tick period in ms (the timer runs while there is a server); 0 switches the timer
    // off, the endpoints' ticks included.
    void set_timer_interval(uint32_t interval_ms);
    // The endpoint's next tick is due no later than its next_tick_due_us() now: moves its place in
    // the queue earlier (never later) and ends a wait that would outlast it. Takes the lock.
    void schedule_tick(IPCEndpointClient* endpoint);

    // Opens a listening server at once (on the calling thread) and hands it to the loop, replacing
    // a server of the same name that has not started yet. `timeout_s` cuts connections that make no
    // endpoint in time; `limit` caps the connections held at once (0 = no cap). False when the
    // address cannot be listened on (the server's error says why).
    bool listen(const std::string& transport, const IPCAddress& address, const std::string& name, int timeout_s,
                int limit);
    // Where the named server listens (the bound port when 0 was asked for); no family when unknown.
    IPCAddress server_address(const std::string& name) const;
    // Why the named server failed (for instance why listen() returned false); empty when it didn't.
    std::string server_error(const std::string& name) const;
    void close_server(const std::string& name);
    void server_set_option(const std::string& name, int value);
    void server_set_text(const std::string& name, const std::string& text);
    // The named server's HTTP deadlines (IPCServer::set_request_timeout, IPCServer::set_keep_alive).
    void server_set_deadlines(const std::string& name, uint32_t request_timeout_s, uint32_t keep_alive_s);
    // The protocol installed on the named server's connections accepted from now on.
    void server_set_protocol(const std::string& name, const std::string& protocol);
    // Delivers a reply to one endpoint of a server (used for forwarded requests).
    void server_send(const Message& message, const std::string& server, const std::string& endpoint);
    // Relays a request that a server endpoint received through the named client endpoint.
    void forward_via(const Message& message, const std::string& name, const IPCEndpointServer& origin);
    bool find_server_match(const std::string& name);
    // Publishes to the named server's peers (every server when the name is empty), leaving out `sender`.
    void publish(const Message& message, const std::string& server, const std::string& from, IPCEndpointServer* sender);
    // Queues a message for the loop to publish.
    void post(const Message& message, const std::string& server, const std::string& from, IPCEndpointServer* sender);

    // Queues a message for the loop to send through the named endpoint.
    void post_request(const Message& message, const std::string& endpoint);
    // Sends through the named endpoint, or through every endpoint when the name is empty.
    void send_via(const Message& message, const std::string& name);
    // Every server's tick.
    void on_timer();

    // Takes a connection released by its endpoint or its server: closed now, deleted by the loop.
    void retire_connection(IPCConn* connection);
    // Takes a server endpoint its server has finished with; deleted by the loop.
    void retire_endpoint_server(IPCEndpointServer* endpoint);
    // Called by an endpoint being destroyed: its registration must not outlive it. True when it was
    // still registered.
    bool forget_endpoint(IPCEndpointClient* endpoint);

    IPCEndpointClient* find_endpoint(const std::string& name) const;
    // Registered endpoints; call under the lock.
    size_t endpoint_count() const { return endpoints_.size(); }
    bool is_running() const { return is_running_; }

private:
    struct EndpointEntry {
        bool is_owned;                // made by connect(): the manager destroys it
        IPCEndpointClient* endpoint;  // owned only when is_owned
    };
    struct PostedMessage {
        Message message;
        std::string to;             // a server name (posts) or an endpoint name (requests)
        std::string from;           // the subscription name published under; empty for requests
        IPCEndpointServer* sender;  // left out of a broadcast; null for requests
    };

    void run_iteration();
    // Looks at every socket when asked to or when a reconnect is due; returns how long the wait
    // may last in ms, 0 meaning without limit, and notes when it ends (wait_end_us_).
    uint32_t wait_after_service();
    // Hands on what the last wait reported, each socket in the order write, peer close, kept
    // input, read.
    void dispatch_events();
    // After a failed wait: logs the first failure of a run of them and pauses for the timer
    // interval (kFailedWaitPauseMs without a timer) instead of spinning.
    void back_off_after_failed_wait(int error);
    void run_timer_if_due();
    // Ticks the endpoints due by now, each once, and queues each again at its next due time.
    void tick_due_endpoints();
    // After the loop's own pause, reads what the sockets received meanwhile, so that no endpoint's
    // tick takes the program's stillness for the peer's silence.
    void read_input_after_own_pause();
    uint32_t time_to_next_tick_ms(int64_t now_us) const;
    // One walk over the endpoints' connections and the servers: closes failed ones, reopens or
    // drops closed ones, and hands on kept input. Returns how long the loop may wait before a
    // reconnect or a paused server is due, 0 meaning without limit.
    uint32_t service_sockets();
    void service_endpoints(uint32_t& wait_ms);
    void check_reconnect(uint32_t delay_s, IPCSocket* socket, uint32_t& wait_ms);
    void service_servers(uint32_t& wait_ms);
    // Hands on input that waited out a read hold.
    static void resume_kept_input(IPCSocket* socket);
    // Moves started servers in and retires closed ones.
    void sweep();
    IPCServer* find_server(const std::string& name) const;
    // The live server of that name, then the pending one that is to replace it; each when there is one.
    std::vector<IPCServer*> servers_named(const std::string& name) const;
    void dispatch(IPCSocket* socket, const platform::Readiness& readiness);
    // An unregistered endpoint the manager made: destroyed by the loop at its next iteration, so that
    // an endpoint that disconnects itself from one of its own callbacks outlives that callback.
    void retire_endpoint(IPCEndpointClient* endpoint);
    void delete_retired();
    std::vector<std::string> endpoint_names() const;
    void register_endpoint(const std::string& name, IPCEndpointClient* endpoint, bool is_owned);
    void unregister(std::map<std::string, EndpointEntry>::iterator entry);
    // Puts a registered endpoint's tick at `due_us` in the queue (out of it for kNoTickDue).
    void queue_tick(std::unordered_map<IPCEndpointClient*, int64_t>::iterator entry, int64_t due_us);

    std::map<std::string, IPCServer*> servers_;          // owned, live
    std::map<std::string, IPCServer*> pending_servers_;  // owned, moved into servers_ by sweep()
    std::map<std::string, EndpointEntry> endpoints_;
    // The endpoints of endpoints_, for lookups by pointer, each with the time its tick is queued
    // for (IPCEndpoint::kNoTickDue: not queued).
    std::unordered_map<IPCEndpointClient*, int64_t> registered_;
    std::set<std::pair<int64_t, IPCEndpointClient*>> tick_queue_;  // by due time; guarded by get_lock()
    std::vector<IPCEndpointClient*> due_;                          // the endpoints one pass ticks (loop thread only)
    // Where the loop's wait under way ends (kNoTickDue: without limit); the lowest value while the
    // loop is not waiting, when a tick queued earlier is seen before the next wait. Guarded by get_lock().
    int64_t wait_end_us_ = std::numeric_limits<int64_t>::min();
    std::vector<IPCEndpointClient*> walk_;  // the service walk's snapshot of endpoints_ (loop thread only)
    std::atomic<bool> is_running_{true};
    std::atomic<uint32_t> timer_interval_ms_{0};
    bool has_timer_started_ = false;
    int64_t last_tick_us_ = 0;
    bool has_wait_failed_ = false;           // the last wait failed (loop thread only)
    int64_t sockets_looked_at_us_ = 0;       // the last wait covered the sockets until then (loop thread)
    std::atomic<bool> needs_service_{true};  // set by wake(): the loop looks at every socket
    int64_t service_due_us_ = 0;             // a reconnect or a paused server is due then; 0 = none (loop thread)

    platform::WakeEvent wake_event_;
    platform::ReadinessPoller poller_;
    std::list<PostedMessage> posts_;           // guarded by get_queue_lock()
    std::list<PostedMessage> requests_;        // guarded by get_queue_lock()
    std::vector<IPCSocket*> retired_sockets_;  // owned, closed: connections and servers; guarded by get_lock()
    std::vector<IPCEndpointClient*> retired_endpoints_;         // owned, unregistered; guarded by get_lock()
    std::vector<IPCEndpointServer*> retired_server_endpoints_;  // owned; guarded by get_lock()

    std::mutex loop_state_mutex_;
    std::condition_variable loop_exited_;
    bool is_loop_active_ = false;  // guarded by loop_state_mutex_
};
