#pragma once

#include <cstdint>
#include <set>
#include <unordered_map>

class IPCEndpointServer;

// The sessions a server may give up to make room for a new one: those that never passed a login
// check and have no connection, least recently active first (equal times in order of id, as the
// server's table holds them), so that a full table finds the one to give up without a scan. Each
// listed session reports every change of its activity, check or connection here, and keeps its id
// while listed.
//
// Threads: owned by its server and changed where its sessions change: on the manager's loop thread,
// or under the manager's lock.
class IPCExpendableSessions {
public:
    // Lists, moves or unlists the session by its present state.
    void update(IPCEndpointServer* session);
    void remove(IPCEndpointServer* session);
    // The least recently active of the listed; null when none is.
    IPCEndpointServer* oldest() const;

private:
    struct Entry {
        int64_t active_us;
        IPCEndpointServer* session;
    };
    struct ByActivity {
        bool operator()(const Entry& a, const Entry& b) const;
    };

    std::set<Entry, ByActivity> by_activity_;
    // The activity each listed session was filed under, which its own may since have left.
    std::unordered_map<const IPCEndpointServer*, int64_t> filed_at_;
};
