#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "ipc/net/ipc_expendable_sessions.h"
#include "ipc/net/ipc_socket.h"

class IPCConn;
class IPCEndpointServer;
class IPCManager;
class IPCProtocol;
class Message;

// One listening socket, the connections accepted on it and the server endpoints of their peers.
// The manager serves its sockets, ticks it, sweeps out closed connections and finished endpoints,
// and routes messages to its endpoints by id.
//
// Threads: created and opened on the caller's thread by IPCManager::listen, then owned by the
// manager's loop thread. Other threads reach it only through the manager's operations
// (close_server, server_send, publish, find_server_match, the server_set_* operations), each under
// the manager's lock.
class IPCServer : public IPCSocket {
public:
    static constexpr uint32_t kDefaultBacklog = 16;
    // What IPCManager::listen gives a server it opens: room for a burst of connections. Beyond the
    // queue the system drops handshakes or answers them with SYN cookies, and resets what a client
    // then sends on a connection it never queued: the client sees its new connection cut a second
    // after connecting, or held back for tens of seconds. The system caps the value at its own
    // limit (net.core.somaxconn).
    static constexpr uint32_t kListenBacklog = 4096;
    // An endpoint without a connection is finished after this many idle seconds; a short-lived one
    // (IPCEndpointServer::is_short_lived) after the brief limit.
    static constexpr uint32_t kOrphanIdleS = 600;
    static constexpr uint32_t kBriefOrphanIdleS = 60;
    // Most endpoints held at once: HTTP peers can ask for new sessions without end. A full table
    // makes room by giving up a session that never passed a check (see make_room).
    static constexpr size_t kMaxEndpoints = 4096;
    // HTTP request deadlines (see set_request_timeout and set_keep_alive).
    static constexpr uint32_t kDefaultRequestTimeoutS = 10;
    static constexpr uint32_t kDefaultKeepAliveS = 60;
    // How long an HTTP answer the system still holds for its peer waits for the peer to take more
    // of it, unless the keep-alive is longer (see set_keep_alive).
    static constexpr uint32_t kDeliveryTimeoutS = 60;

    // A server for the transport ("stream"), or null for any other transport.
    static IPCServer* create(IPCManager* manager, const std::string& transport, const std::string& name);

    IPCServer(IPCManager* manager, const std::string& name);
    ~IPCServer() override;

    const std::string& name() const { return name_; }
    void set_protocol(const std::string& protocol) { protocol_ = protocol; }
    void set_option_value(int value) { connection_option_ = value; }
    void set_file_root(const std::string& root);
    const std::string& file_root() const { return file_root_; }
    // The file root with every symlink resolved (realpath), found once; empty while it does not exist.
    const std::string& real_file_root();
    // Seconds an accepted connection may stay without an endpoint; 0 = no limit.
    void set_timeout(uint32_t seconds) { timeout_s_ = seconds; }
    // Most connections held at once; further ones are closed as they are accepted. 0 = no cap.
    void set_connection_limit(uint32_t limit) { connection_limit_ = limit; }
    void set_backlog(uint32_t backlog) { backlog_ = backlog; }
    size_t connection_count() const { return connections_.size(); }
    size_t endpoint_count() const { return endpoints_.size(); }
    bool is_full() const { return endpoints_.size() >= kMaxEndpoints; }
    // An HTTP request head still incomplete this many seconds after its first byte, or a body that
    // has not grown for as long, fails its connection. Checked by tick(), so only with the
    // manager's timer running.
    void set_request_timeout(uint32_t seconds) { request_timeout_s_ = seconds; }
    uint32_t request_timeout_s() const { return request_timeout_s_; }
    // An HTTP connection idle this many seconds between requests is closed (also by tick()). While
    // the system still holds bytes of an answer for the peer, it waits instead for the delivery
    // timeout (kDeliveryTimeoutS, or this if longer) from the peer's last progress: a slow reader is
    // seen taking bytes only when its system opens the window, which may be seconds apart.
    void set_keep_alive(uint32_t seconds) { keep_alive_s_ = seconds; }
    uint32_t keep_alive_s() const { return keep_alive_s_; }

    // The listening socket, then every open connection that has not failed.
    void for_each_socket(const std::function<void(IPCSocket*)>& callback);
    // Ticks the endpoints and the connections' protocols; finishes endpoints left without a
    // connection for too long.
    void tick();
    // Hands closed connections and finished endpoints to the manager, which deletes them.
    void reap_closed();
    // The named server protocol for one of this server's connections (the manager decides).
    IPCProtocol* create_protocol(const std::string& name, IPCConn* connection);
    // Makes a server endpoint bound to the connection (none when null); returns its id, or the empty
    // text when the server is full or the manager made no endpoint.
    std::string create_endpoint(IPCConn* connection);
    // The endpoint of that id; when absent and `create`, a new unbound one under exactly that id,
    // unless the server is full (null then).
    IPCEndpointServer* get_endpoint(const std::string& id, bool create);
    void deliver_to(const Message& message, const std::string& id);
    // Every endpoint but `sender` is notified of the message published under `topic`.
    void broadcast(const Message& message, const std::string& topic, IPCEndpointServer* sender);
    bool poll_endpoints(const std::string& name);
    void clear();

protected:
    // Takes over an accepted descriptor, or closes it at once when the server is full.
    void adopt_connection(int fd, const IPCAddress& peer);
    IPCEndpointServer* add_endpoint(const std::string& id);
    // Gives up the least recently active endpoint that has neither passed a login check nor a
    // connection; false when there is none.
    bool make_room();
    // Takes the endpoint out of the table and hands it to the manager, which deletes it.
    void retire_endpoint(std::map<std::string, IPCEndpointServer*>::iterator entry);

    IPCManager* manager_;                                  // not owned
    std::map<IPCConn*, IPCAddress> connections_;           // owned
    std::map<std::string, IPCEndpointServer*> endpoints_;  // owned, by id
    IPCExpendableSessions expendables_;                    // of endpoints_
    std::string name_;
    std::string file_root_;
    std::string real_file_root_;
    std::string protocol_;
    uint32_t timeout_s_ = 0;
    uint32_t backlog_ = kDefaultBacklog;
    int connection_option_ = 0;
    uint32_t connection_limit_ = 0;
    uint32_t request_timeout_s_ = kDefaultRequestTimeoutS;
    uint32_t keep_alive_s_ = kDefaultKeepAliveS;
};
