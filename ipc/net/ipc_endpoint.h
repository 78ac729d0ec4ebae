#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <string>

class IPCConn;
class IPCManager;
class Message;

// The named owner of one side of a conversation: its connection, its manager, an idle time-out
// measured against the last activity (a message, or bytes received at a useful pace:
// IPCConn::last_live_us), the subscriptions and a
// trace switch that logs every message.
//
// Threads: belongs to its manager's loop thread; other threads call in only while holding the
// manager's lock.
class IPCEndpoint {
public:
    // next_tick_due_us() of an endpoint with nothing to check.
    static constexpr int64_t kNoTickDue = std::numeric_limits<int64_t>::max();

    IPCEndpoint();
    virtual ~IPCEndpoint();
    IPCEndpoint(const IPCEndpoint&) = delete;
    IPCEndpoint& operator=(const IPCEndpoint&) = delete;

    virtual void on_connection_state() {}
    // Run by the manager's timer: calls on_timeout once the connection has been idle for more whole
    // seconds than the time-out.
    virtual void tick();
    // When tick() next has something to check, on the ipc_now_us clock; kNoTickDue when nothing
    // can come due before something the endpoint is told of. The manager ticks a client endpoint
    // then, not before: early is harmless (tick re-checks), late is a check missed. Whatever makes
    // a check due sooner calls tick_due_changed().
    virtual int64_t next_tick_due_us() const;
    virtual void on_timeout() {}
    virtual void set_flag(bool is_tracing) { is_tracing_ = is_tracing; }

    void set_name(IPCManager* manager, const std::string& name);
    const std::string& name() const { return name_; }
    IPCManager* manager() const { return manager_; }
    IPCConn* connection() const { return connection_; }

    void set_timeout(uint32_t seconds);
    uint32_t timeout() const { return timeout_s_; }
    virtual void touch();
    // Whole seconds since the last touch or since the connection's bytes last showed it alive.
    uint32_t idle_s() const;
    // The time of the last touch (or of construction), on the ipc_now_us clock.
    int64_t last_active_us() const { return stamp_us_; }
    bool is_tracing() const { return is_tracing_; }

    // The peer's address as text, or "(unknown)" without a connection; for log lines.
    std::string description() const;

    // Marks a reply failed: "fail" = true, "error_code" and "error_text".
    static void set_error(Message& reply, int code, const std::string& text);

protected:
    // next_tick_due_us() may have moved earlier: the manager that ticks the endpoint asks again
    // (taking its lock). Nothing by default: a server ticks its endpoints on its interval.
    virtual void tick_due_changed() {}
    // The last touch, or the connection's last bytes that showed it alive: what idleness counts from.
    int64_t last_sign_of_life_us() const;
    // "<direction> <peer>: <xml>" at level 4 while tracing is on ("rx from", "tx rsp to", ...).
    void trace(const char* direction, const Message& message) const;

    // A client endpoint owns its connection (deleted on the loop thread once released); a server
    // endpoint's connection belongs to the server that accepted it.
    IPCConn* connection_ = nullptr;
    IPCManager* manager_ = nullptr;  // not owned
    std::string name_;
    uint32_t timeout_s_ = 0;
    std::map<std::string, uint32_t> subscriptions_;  // name -> interval in ms, 0 = none given
    int64_t stamp_us_;
    bool is_tracing_ = false;
};
