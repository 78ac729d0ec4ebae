#include "ipc/net/ipc_server.h"

#include <vector>

#include "ipc/base/ipc_clock.h"
#include "ipc/base/ipc_random.h"
#include "ipc/base/ipc_string.h"
#include "ipc/base/logger.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_endpoint_server.h"
#include "ipc/net/ipc_manager.h"
#include "ipc/net/ipc_protocol.h"
#include "ipc/net/ipc_server_stream.h"
#include "platform/file_ops.h"
#include "platform/socket_ops.h"

IPCServer* IPCServer::create(IPCManager* manager, const std::string& transport, const std::string& name) {
    if (transport == "stream") return new IPCServerStream(manager, name);
    return nullptr;
}

IPCServer::IPCServer(IPCManager* manager, const std::string& name)
    : IPCSocket(manager), manager_(manager), name_(name) {}

IPCServer::~IPCServer() {
    close();
    clear();
    for (auto& entry : endpoints_) {
        entry.second->set_expendables(nullptr);
        delete entry.second;
    }
}

void IPCServer::set_file_root(const std::string& root) {
    file_root_ = root;
    real_file_root_.clear();
}

const std::string& IPCServer::real_file_root() {
    if (real_file_root_.empty() && !file_root_.empty()) real_file_root_ = platform::resolved_path(file_root_);
    return real_file_root_;
}

void IPCServer::for_each_socket(const std::function<void(IPCSocket*)>& callback) {
    if (is_open() && !is_failed()) callback(this);
    for (auto& entry : connections_) {
        IPCConn* connection = entry.first;
        if (connection->is_open() && !connection->is_failed()) callback(connection);
    }
}

void IPCServer::adopt_connection(int fd, const IPCAddress& peer) {
    if (connection_limit_ != 0 && connections_.size() >= connection_limit_) {
        ipc_logger().log(3, "ipc server %s: connection from %s refused, %u connections already", name_.c_str(),
                         peer.to_string().c_str(), connection_limit_);
        platform::close_socket(fd);
        return;
    }
    auto* connection = new IPCConnStream(manager_, connection_option_);
    connection->set_server(this);
    connection->attach(fd, peer);
    connections_[connection] = peer;
    if (!protocol_.empty()) connection->set_protocol(create_protocol(protocol_, connection));
}

IPCProtocol* IPCServer::create_protocol(const std::string& name, IPCConn* connection) {
    return manager_->create_server_protocol(name, connection);
}

void IPCServer::tick() {
    bool has_finished_endpoint = false;
    for (auto& entry : endpoints_) {
        IPCEndpointServer* endpoint = entry.second;
        endpoint->tick();
        const uint32_t orphan_limit_s = endpoint->is_short_lived() ? kBriefOrphanIdleS : kOrphanIdleS;
        if (!endpoint->connection() && endpoint->idle_s() > orphan_limit_s) endpoint->mark_closed();
        has_finished_endpoint = has_finished_endpoint || endpoint->is_closed();
    }
    // Finished endpoints are reaped when the loop next looks at every socket.
    if (has_finished_endpoint) manager_->wake();
    for (auto& entry : connections_) {
        IPCConn* connection = entry.first;
        if (connection->is_failed()) continue;
        if (connection->protocol()) connection->protocol()->on_tick();
        if (timeout_s_ == 0 || connection->is_failed() || connection->endpoint_server()) continue;
        if (connection->open_for_us() > int64_t{timeout_s_} * 1000000) connection->set_error("connection timeout");
    }
}

void IPCServer::reap_closed() {
    std::vector<IPCConn*> closed;
    for (auto& entry : connections_) {
        IPCConn* connection = entry.first;
        if (connection->is_failed()) connection->close();
        if (!connection->is_open()) closed.push_back(connection);
    }
    for (IPCConn* connection : closed) {
        connections_.erase(connection);
        manager_->retire_connection(connection);
    }

    for (auto it = endpoints_.begin(); it != endpoints_.end();) {
        const auto entry = it++;
        if (entry->second->is_closed()) retire_endpoint(entry);
    }
}

void IPCServer::retire_endpoint(std::map<std::string, IPCEndpointServer*>::iterator entry) {
    // Deleted later, it may still hear from a connection: it reports to nobody meanwhile.
    entry->second->set_expendables(nullptr);
    manager_->retire_endpoint_server(entry->second);
    endpoints_.erase(entry);
}

IPCEndpointServer* IPCServer::add_endpoint(const std::string& id) {
    if (is_full() && !make_room()) return nullptr;
    IPCEndpointServer* endpoint = manager_->create_endpoint_server(name_);
    if (!endpoint) return nullptr;
    endpoint->set_name(manager_, name_);
    endpoint->set_id(id);
    endpoints_[id] = endpoint;
    endpoint->set_expendables(&expendables_);
    return endpoint;
}

bool IPCServer::make_room() {
    // Every request that must log in makes a session before its check, so a flood of them would
    // otherwise fill the table until the sweep and lock every new client out. A session that has
    // logged in, or is bound to a connection, is never given up for one. Once the table is full a
    // flood makes room on every request, so the one to give up is kept at hand, never searched for.
    const IPCEndpointServer* oldest = expendables_.oldest();
    if (!oldest) return false;
    retire_endpoint(endpoints_.find(oldest->id()));
    return true;
}

std::string IPCServer::create_endpoint(IPCConn* connection) {
    const std::string id = ipc_bytes_to_hex(ipc_random_string(16));
    IPCEndpointServer* endpoint = add_endpoint(id);
    if (!endpoint) return {};
    if (connection) endpoint->set_conn(connection);
    return id;
}

IPCEndpointServer* IPCServer::get_endpoint(const std::string& id, bool create) {
    const auto it = endpoints_.find(id);
    if (it != endpoints_.end()) return it->second;
    return create ? add_endpoint(id) : nullptr;
}

void IPCServer::deliver_to(const Message& message, const std::string& id) {
    const auto it = endpoints_.find(id);
    if (it != endpoints_.end()) it->second->send_deferred(message);
}

void IPCServer::broadcast(const Message& message, const std::string& topic, IPCEndpointServer* sender) {
    for (auto& entry : endpoints_) {
        if (entry.second != sender) entry.second->notify(message, topic);
    }
}

bool IPCServer::poll_endpoints(const std::string& name) {
    for (auto& entry : endpoints_) {
        if (entry.second->is_due(name)) return true;
    }
    return false;
}

void IPCServer::clear() {
    // Taken out first: deleting a connection detaches its endpoint, which must not find it again.
    std::map<IPCConn*, IPCAddress> connections;
    connections.swap(connections_);
    for (auto& entry : connections) delete entry.first;
}
