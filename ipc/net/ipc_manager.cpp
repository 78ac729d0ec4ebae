#include "ipc/net/ipc_manager.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "ipc/base/ipc_clock.h"
#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/base/logger.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/net/ipc_endpoint_server.h"
#include "ipc/net/ipc_protocol.h"
#include "ipc/net/ipc_server.h"
#include "platform/error_text.h"

IPCManager::IPCManager(platform::ReadinessPoller::Backend backend) : poller_(wake_event_.fd(), backend) {}

IPCManager::~IPCManager() {
    if (!wait_for_loop_exit(0)) {
        // The loop may already have called into the destroyed subclass part.
        ipc_report_misuse("IPCManager destroyed while its loop runs: stop it and wait for the loop to end first");
        stop();
        wait_for_loop_exit(-1);
    }

    // Taken out first: destroying an endpoint unregisters it from endpoints_.
    std::map<std::string, EndpointEntry> endpoints;
    endpoints.swap(endpoints_);
    registered_.clear();
    tick_queue_.clear();
    for (auto& [name, entry] : endpoints) {
        if (entry.is_owned) {
            delete entry.endpoint;
        } else {
            // Its owner keeps the endpoint, but its connection belongs to this manager's sockets.
            entry.endpoint->drop_connection();
            entry.endpoint->set_name(nullptr, entry.endpoint->name());
        }
    }
    delete_retired();
    for (auto& entry : servers_) delete entry.second;
    for (auto& entry : pending_servers_) delete entry.second;
}

IPCEndpointClient* IPCManager::create_endpoint_client(const std::string&) {
    return new IPCEndpointClient;
}

IPCEndpointServer* IPCManager::create_endpoint_server(const std::string&) {
    return new IPCEndpointServer;
}

IPCProtocol* IPCManager::create_server_protocol(const std::string& name, IPCConn* connection) {
    return IPCProtocol::create_server(name, connection);
}

void IPCManager::destroy_endpoint(IPCEndpointClient* endpoint) {
    delete endpoint;
}

void IPCManager::wake() {
    needs_service_ = true;
    wake_event_.signal();
}

void IPCManager::stop() {
    is_running_ = false;
    wake();
}

bool IPCManager::wait_for_loop_exit(int timeout_ms) {
    std::unique_lock<std::mutex> lock(loop_state_mutex_);
    const auto has_exited = [this] { return !is_loop_active_; };
    if (timeout_ms < 0) {
        loop_exited_.wait(lock, has_exited);
        return true;
    }
    return loop_exited_.wait_for(lock, std::chrono::milliseconds(timeout_ms), has_exited);
}

void IPCManager::event_loop() {
    {
        std::lock_guard<std::mutex> lock(loop_state_mutex_);
        is_loop_active_ = true;
    }
    // Marks the loop as ended however it leaves, an unknown exception included.
    struct ExitSignal {
        IPCManager* manager;
        ~ExitSignal() {
            std::lock_guard<std::mutex> lock(manager->loop_state_mutex_);
            manager->is_loop_active_ = false;
            manager->loop_exited_.notify_all();
        }
    } exit_signal{this};

    while (is_running_) run_iteration();
}

void IPCManager::run_iteration() {
    std::list<PostedMessage> posts;
    std::list<PostedMessage> requests;
    {
        IPCMutexGuard queue_guard(get_queue_lock());
        posts.swap(posts_);
        requests.swap(requests_);
    }
    try {
        uint32_t wait_ms;
        {
            IPCMutexGuard guard(get_lock());
            delete_retired();
            for (const PostedMessage& post : posts) publish(post.message, post.to, post.from, post.sender);
            for (const PostedMessage& request : requests) send_via(request.message, request.to);
            on_loop();
            sweep();
            run_timer_if_due();
            wait_ms = wait_after_service();
        }

        const int64_t wait_started_us = ipc_now_us();
        const int wait_error = poller_.wait(wait_ms == 0 ? -1 : static_cast<int>(wait_ms));
        if (poller_.was_woken()) wake_event_.drain();
        if (wait_error != 0) {
            back_off_after_failed_wait(wait_error);
            return;
        }
        has_wait_failed_ = false;
        // A wait that outlasted its time-out did not look at the sockets for the rest of it: the
        // process was stopped (which ends the wait with nothing reported) or not scheduled.
        const int64_t now_us = ipc_now_us();
        sockets_looked_at_us_ = wait_ms == 0 ? now_us : std::min(now_us, wait_started_us + int64_t{wait_ms} * 1000);

        IPCMutexGuard guard(get_lock());
        wait_end_us_ = std::numeric_limits<int64_t>::min();
        dispatch_events();
    } catch (const std::exception& e) {
        ipc_logger().log(2, "IPCManager::event_loop uncaught exception: %s", e.what());
        ipc_logger().output_hook(0, 2, nullptr);
    }
}

uint32_t IPCManager::wait_after_service() {
    int64_t now_us = ipc_now_us();
    if (needs_service_.exchange(false) || (service_due_us_ != 0 && now_us >= service_due_us_)) {
        const uint32_t service_wait_ms = service_sockets();
        service_due_us_ = service_wait_ms == 0 ? 0 : now_us + int64_t{service_wait_ms} * 1000;
        now_us = ipc_now_us();
    }
    uint32_t wait_ms = time_to_next_tick_ms(now_us);
    if (service_due_us_ != 0) {
        // Rounded up, so that the wait never ends just before the reconnect is due.
        const int64_t until_due_ms = std::max<int64_t>(1, (service_due_us_ - now_us + 999) / 1000);
        if (wait_ms == 0 || wait_ms > until_due_ms) wait_ms = static_cast<uint32_t>(until_due_ms);
    }
    wait_end_us_ = wait_ms == 0 ? IPCEndpoint::kNoTickDue : now_us + int64_t{wait_ms} * 1000;
    return wait_ms;
}

void IPCManager::back_off_after_failed_wait(int error) {
    const uint32_t interval_ms = timer_interval_ms_;
    const uint32_t pause_ms = interval_ms != 0 ? interval_ms : kFailedWaitPauseMs;
    if (!has_wait_failed_) {
        ipc_logger().log(2, "ipc_manager: poll failed: %s; trying again every %u ms",
                         platform::error_text(error).c_str(), pause_ms);
        has_wait_failed_ = true;
    }
    // The same wait would fail again at once. The wake event alone still ends the pause early, for
    // stop() and for any change another thread makes.
    if (wake_event_.wait(static_cast<int>(pause_ms))) wake_event_.drain();
}

void IPCManager::run_timer_if_due() {
    const uint32_t interval_ms = timer_interval_ms_;
    if (interval_ms == 0) return;
    const int64_t now_us = ipc_now_us();
    const bool is_round_due =
        !servers_.empty() && (!has_timer_started_ || (now_us - last_tick_us_) / 1000 >= interval_ms);
    const bool is_tick_due = !tick_queue_.empty() && tick_queue_.begin()->first <= now_us;
    if (!is_round_due && !is_tick_due) return;
    read_input_after_own_pause();
    if (is_round_due) {
        on_timer_hook();
        on_timer();
        last_tick_us_ = ipc_now_us();
        has_timer_started_ = true;
    }
    tick_due_endpoints();
}

void IPCManager::tick_due_endpoints() {
    const int64_t now_us = ipc_now_us();
    // Taken out first: a tick may queue its own endpoint, or another, again.
    due_.clear();
    while (!tick_queue_.empty() && tick_queue_.begin()->first <= now_us) {
        IPCEndpointClient* endpoint = tick_queue_.begin()->second;
        tick_queue_.erase(tick_queue_.begin());
        registered_[endpoint] = IPCEndpoint::kNoTickDue;
        due_.push_back(endpoint);
    }
    for (IPCEndpointClient* endpoint : due_) {
        // A tick may remove endpoints, this one's or another's.
        if (registered_.count(endpoint) == 0) continue;
        endpoint->tick();
        const auto entry = registered_.find(endpoint);
        if (entry == registered_.end()) continue;
        // A check its tick left due would otherwise be ticked again at once, and again.
        const int64_t due_us = std::max(endpoint->next_tick_due_us(), now_us + 1000);
        if (due_us < entry->second) queue_tick(entry, due_us);
    }
}

void IPCManager::queue_tick(std::unordered_map<IPCEndpointClient*, int64_t>::iterator entry, int64_t due_us) {
    IPCEndpointClient* endpoint = entry->first;
    if (entry->second != IPCEndpoint::kNoTickDue) tick_queue_.erase({entry->second, endpoint});
    entry->second = due_us;
    if (due_us != IPCEndpoint::kNoTickDue) tick_queue_.emplace(due_us, endpoint);
}

void IPCManager::schedule_tick(IPCEndpointClient* endpoint) {
    IPCMutexGuard guard(get_lock());
    const auto entry = registered_.find(endpoint);
    if (entry == registered_.end()) return;
    const int64_t due_us = endpoint->next_tick_due_us();
    // Never later: the tick itself moves it on, and an early one is harmless.
    if (due_us >= entry->second) return;
    queue_tick(entry, due_us);
    if (due_us < wait_end_us_) {
        wait_end_us_ = due_us;
        wake_event_.signal();
    }
}

void IPCManager::read_input_after_own_pause() {
    if (sockets_looked_at_us_ == 0 || ipc_now_us() - sockets_looked_at_us_ < kOwnPauseUs) return;
    // Each pass reads one chunk of every socket that has bytes; a socket that still has some after
    // them all is left to the loop.
    for (int pass = 0; pass < kCatchUpReads; ++pass) {
        if (poller_.wait(0) != 0) break;
        if (poller_.was_woken()) wake_event_.drain();
        if (poller_.event_count() == 0) break;
        dispatch_events();
    }
    sockets_looked_at_us_ = ipc_now_us();
}

uint32_t IPCManager::time_to_next_tick_ms(int64_t now_us) const {
    const uint32_t interval_ms = timer_interval_ms_;
    if (interval_ms == 0) return 0;
    uint32_t wait_ms = 0;
    if (!servers_.empty()) {
        // Wait only until the next round is due, so that the servers' ticks keep their period.
        const int64_t elapsed_ms = (now_us - last_tick_us_) / 1000;
        if (!has_timer_started_ || elapsed_ms >= interval_ms) return 1;
        wait_ms = interval_ms - static_cast<uint32_t>(elapsed_ms);
    }
    if (!tick_queue_.empty()) {
        // Rounded up, so that the wait never ends just before the tick is due.
        const int64_t until_due_ms = std::max<int64_t>(1, (tick_queue_.begin()->first - now_us + 999) / 1000);
        if (wait_ms == 0 || until_due_ms < wait_ms) wait_ms = static_cast<uint32_t>(until_due_ms);
    }
    return wait_ms;
}

std::vector<std::string> IPCManager::endpoint_names() const {
    std::vector<std::string> names;
    names.reserve(endpoints_.size());
    for (const auto& entry : endpoints_) names.push_back(entry.first);
    return names;
}

uint32_t IPCManager::service_sockets() {
    uint32_t wait_ms = 0;
    service_servers(wait_ms);
    service_endpoints(wait_ms);
    return wait_ms;
}

void IPCManager::resume_kept_input(IPCSocket* socket) {
    if (socket->is_open() && !socket->is_failed() && socket->has_pending_input()) socket->resume_input();
}

void IPCManager::service_endpoints(uint32_t& wait_ms) {
    // Callbacks may add or remove endpoints, so the walk goes over a snapshot and skips an endpoint
    // that is no longer registered when its turn comes.
    walk_.clear();
    for (const auto& entry : endpoints_) walk_.push_back(entry.second.endpoint);
    std::vector<IPCEndpointClient*> dropped_owned;
    for (IPCEndpointClient* endpoint : walk_) {
        if (registered_.count(endpoint) == 0) continue;
        IPCConn* connection = endpoint->connection();
        if (!connection) continue;

        if (connection->is_failed()) connection->close();
        if (connection->is_open()) {
            connection->watch_changed();
            resume_kept_input(connection);
            continue;
        }
        const int delay_s = endpoint->reconnect_delay();
        if (delay_s > 0) {
            check_reconnect(static_cast<uint32_t>(delay_s), connection, wait_ms);
        } else {
            endpoint->drop_connection();
            dropped_owned.push_back(endpoint);
        }
    }
    for (IPCEndpointClient* endpoint : dropped_owned) {
        const auto it = endpoints_.find(endpoint->name());
        if (it == endpoints_.end() || it->second.endpoint != endpoint || !it->second.is_owned) continue;
        unregister(it);
        retired_endpoints_.push_back(endpoint);
    }
}

void IPCManager::unregister(std::map<std::string, EndpointEntry>::iterator entry) {
    const auto registered = registered_.find(entry->second.endpoint);
    if (registered != registered_.end()) {
        queue_tick(registered, IPCEndpoint::kNoTickDue);
        registered_.erase(registered);
    }
    endpoints_.erase(entry);
}

void IPCManager::register_endpoint(const std::string& name, IPCEndpointClient* endpoint, bool is_owned) {
    endpoints_[name] = EndpointEntry{is_owned, endpoint};
    registered_.emplace(endpoint, IPCEndpoint::kNoTickDue);
    endpoint->set_name(this, name);
    schedule_tick(endpoint);
}

void IPCManager::service_servers(uint32_t& wait_ms) {
    for (auto& [name, server] : servers_) {
        server->reap_closed();
        server->for_each_socket([](IPCSocket* socket) {
            socket->watch_changed();
            resume_kept_input(socket);
        });
        if (server->is_failed()) {
            ipc_logger().log(2, "ipc server failed: %s", server->error().c_str());
            server->close();
        }
        if (!server->is_open()) check_reconnect(1, server, wait_ms);
        const uint32_t limit_ms = server->max_wait_ms();
        if (limit_ms != 0 && (wait_ms == 0 || wait_ms > limit_ms)) wait_ms = limit_ms;
    }
}

void IPCManager::sweep() {
    for (auto it = servers_.begin(); it != servers_.end();) {
        if (it->second->is_open()) {
            ++it;
            continue;
        }
        retired_sockets_.push_back(it->second);
        it = servers_.erase(it);
    }
    for (auto& [name, server] : pending_servers_) {
        IPCServer*& live = servers_[name];
        if (live) {
            live->close();
            retired_sockets_.push_back(live);
        }
        live = server;
    }
    if (!pending_servers_.empty()) needs_service_ = true;
    pending_servers_.clear();
}

IPCServer* IPCManager::find_server(const std::string& name) const {
    const auto it = servers_.find(name);
    return it == servers_.end() ? nullptr : it->second;
}

std::vector<IPCServer*> IPCManager::servers_named(const std::string& name) const {
    std::vector<IPCServer*> named;
    if (IPCServer* live = find_server(name)) named.push_back(live);
    const auto pending = pending_servers_.find(name);
    if (pending != pending_servers_.end()) named.push_back(pending->second);
    return named;
}

void IPCManager::check_reconnect(uint32_t delay_s, IPCSocket* socket, uint32_t& wait_ms) {
    const int closed_s = socket->closed_for_s();
    if (closed_s >= 0 && static_cast<uint32_t>(closed_s) < delay_s) {
        const uint32_t remaining_ms = (delay_s - static_cast<uint32_t>(closed_s)) * 1000;
        if (wait_ms == 0 || wait_ms > remaining_ms) wait_ms = remaining_ms;
        return;
    }
    // An open socket is watched from its attach on.
    const IPCAddress address = socket->address();
    socket->open(address);
}

void IPCManager::socket_callback(IPCSocket* socket) {
    if (!socket->is_open()) {
        if (socket->watch_key == 0) return;
        poller_.remove(socket->watch_key);
        socket->watch_key = 0;
        // A closed socket is reopened, reaped or dropped by the next look at every socket.
        wake();
        return;
    }
    const bool wants_read = socket->wants_read();
    const bool wants_write = socket->wants_write();
    if (socket->watch_key != 0) {
        const int error = poller_.modify(socket->watch_key, wants_read, wants_write);
        if (error != 0) socket->set_error(platform::error_text(error));
        return;
    }
    socket->watch_key = poller_.add(socket->fd(), socket, wants_read, wants_write);
    if (socket->watch_key == 0) socket->set_error(platform::last_error_text());
}

void IPCManager::dispatch_events() {
    for (size_t i = 0; i < poller_.event_count(); ++i) {
        const uint64_t key = poller_.event_key(i);
        // Null for a registration that ended after the wait: its descriptor may be another's now.
        auto* socket = static_cast<IPCSocket*>(poller_.owner(key));
        if (!socket) continue;
        dispatch(socket, poller_.event_readiness(i));
        if (socket->watch_key == key) socket->watch_changed();
    }
}

void IPCManager::dispatch(IPCSocket* socket, const platform::Readiness& readiness) {
    bool is_writable = readiness.is_writable;
    bool is_closed = readiness.is_peer_closed || readiness.has_error;
    if (socket->is_connect_pending() && is_closed) {
        // An error or hang-up during a connect ends the connect: its result is in SO_ERROR.
        is_writable = true;
        is_closed = false;
    }
    const auto is_usable = [socket] { return socket->is_open() && !socket->is_failed(); };

    if (is_writable) socket->on_writable(false);
    if (is_closed) {
        if (is_usable()) socket->on_peer_closed();
        return;
    }
    // Input kept while reading was held goes first.
    if (is_usable() && socket->has_pending_input()) socket->resume_input();
    if (readiness.is_readable && is_usable() && socket->wants_read()) socket->on_readable();
}

void IPCManager::delete_retired() {
    // Endpoints first: destroying one retires its connection, which then goes in the same call.
    std::vector<IPCEndpointClient*> endpoints;
    endpoints.swap(retired_endpoints_);
    for (IPCEndpointClient* endpoint : endpoints) destroy_endpoint(endpoint);
    std::vector<IPCEndpointServer*> server_endpoints;
    server_endpoints.swap(retired_server_endpoints_);
    for (IPCEndpointServer* endpoint : server_endpoints) delete endpoint;
    std::vector<IPCSocket*> sockets;
    sockets.swap(retired_sockets_);
    for (IPCSocket* socket : sockets) delete socket;
}

void IPCManager::retire_connection(IPCConn* connection) {
    IPCMutexGuard guard(get_lock());
    // Closed now: its events stop at once, and its descriptor goes back to the system.
    connection->close();
    retired_sockets_.push_back(connection);
    wake();
}

void IPCManager::retire_endpoint_server(IPCEndpointServer* endpoint) {
    IPCMutexGuard guard(get_lock());
    retired_server_endpoints_.push_back(endpoint);
}

void IPCManager::connect(const std::string& protocol, const std::string& transport, const IPCAddress& address,
                         const std::string& name, int option) {
    IPCMutexGuard guard(get_lock());
    IPCEndpointClient* endpoint = find_endpoint(name);
    if (!endpoint) {
        endpoint = create_endpoint_client(name);
        register_endpoint(name, endpoint, true);
    }
    IPCConn* connection = IPCConn::create(this, transport, option);
    if (!connection) return;
    // The protocol goes in before the endpoint sees the connection: a connection without one
    // accepts and discards, and the endpoint would flush its queued requests into it.
    connection->set_client_protocol(protocol);
    endpoint->set_connection(connection);
    connection->open(address);
    wake();
}

void IPCManager::add_endpoint(const std::string& name, IPCEndpointClient* endpoint) {
    IPCMutexGuard guard(get_lock());
    if (endpoints_.count(name) != 0) return;
    register_endpoint(name, endpoint, false);
}

void IPCManager::remove_endpoint(const std::string& name) {
    IPCMutexGuard guard(get_lock());
    const auto it = endpoints_.find(name);
    if (it == endpoints_.end()) return;
    const EndpointEntry entry = it->second;
    unregister(it);
    if (entry.is_owned) {
        retire_endpoint(entry.endpoint);
    } else {
        // Its owner may keep it longer than this manager lives: neither it nor its connection,
        // which this loop no longer serves, may call back in here.
        if (IPCConn* connection = entry.endpoint->connection()) {
            poller_.remove(connection->watch_key);
            connection->watch_key = 0;
            connection->leave_owner();
        }
        entry.endpoint->set_name(nullptr, entry.endpoint->name());
    }
}

bool IPCManager::forget_endpoint(IPCEndpointClient* endpoint) {
    IPCMutexGuard guard(get_lock());
    if (registered_.count(endpoint) == 0) return false;
    for (auto it = endpoints_.begin(); it != endpoints_.end();) {
        const auto next = std::next(it);
        if (it->second.endpoint == endpoint) unregister(it);
        it = next;
    }
    return true;
}

void IPCManager::disconnect(const std::string& name) {
    IPCMutexGuard guard(get_lock());
    const auto it = endpoints_.find(name);
    if (it == endpoints_.end()) return;
    const EndpointEntry entry = it->second;
    entry.endpoint->drop_connection();
    if (entry.is_owned) {
        const auto owned = endpoints_.find(name);
        if (owned != endpoints_.end() && owned->second.endpoint == entry.endpoint) unregister(owned);
        retire_endpoint(entry.endpoint);
    }
    wake();
}

void IPCManager::retire_endpoint(IPCEndpointClient* endpoint) {
    retired_endpoints_.push_back(endpoint);
    wake();
}

void IPCManager::set_timer_interval(uint32_t interval_ms) {
    timer_interval_ms_ = interval_ms;
    wake();
}

void IPCManager::post_request(const Message& message, const std::string& endpoint) {
    IPCMutexGuard queue_guard(get_queue_lock());
    requests_.push_back(PostedMessage{message, endpoint, {}, nullptr});
    wake();
}

void IPCManager::send_via(const Message& message, const std::string& name) {
    IPCMutexGuard guard(get_lock());
    if (!name.empty()) {
        if (IPCEndpointClient* endpoint = find_endpoint(name)) endpoint->send(message);
        return;
    }
    for (const std::string& each : endpoint_names()) {
        if (IPCEndpointClient* endpoint = find_endpoint(each)) endpoint->send(message);
    }
}

void IPCManager::on_timer() {
    IPCMutexGuard guard(get_lock());
    for (auto& entry : servers_) entry.second->tick();
}

bool IPCManager::listen(const std::string& transport, const IPCAddress& address, const std::string& name, int timeout_s,
                        int limit) {
    IPCServer* server = IPCServer::create(this, transport, name);
    if (!server) return false;
    server->set_connection_limit(limit > 0 ? static_cast<uint32_t>(limit) : 0);
    server->set_backlog(IPCServer::kListenBacklog);
    server->set_timeout(timeout_s > 0 ? static_cast<uint32_t>(timeout_s) : 0);
    bool is_open;
    {
        // Opening registers the listening socket with the loop's wait.
        IPCMutexGuard guard(get_lock());
        is_open = server->open(address);
        IPCServer*& pending = pending_servers_[name];
        if (pending) {
            pending->close();
            retired_sockets_.push_back(pending);
        }
        pending = server;
    }
    wake();
    return is_open;
}

IPCAddress IPCManager::server_address(const std::string& name) const {
    IPCMutexGuard guard(get_lock());
    const std::vector<IPCServer*> named = servers_named(name);
    return named.empty() ? IPCAddress() : named.back()->address();
}

std::string IPCManager::server_error(const std::string& name) const {
    IPCMutexGuard guard(get_lock());
    const std::vector<IPCServer*> named = servers_named(name);
    return named.empty() ? std::string() : named.back()->error();
}

void IPCManager::close_server(const std::string& name) {
    IPCMutexGuard guard(get_lock());
    if (IPCServer* live = find_server(name)) {
        live->close();
        wake();
    }
    const auto pending = pending_servers_.find(name);
    if (pending != pending_servers_.end()) {
        pending->second->close();
        retired_sockets_.push_back(pending->second);
        pending_servers_.erase(pending);
    }
}

void IPCManager::server_set_option(const std::string& name, int value) {
    IPCMutexGuard guard(get_lock());
    for (IPCServer* server : servers_named(name)) server->set_option_value(value);
}

void IPCManager::server_set_text(const std::string& name, const std::string& text) {
    IPCMutexGuard guard(get_lock());
    for (IPCServer* server : servers_named(name)) server->set_file_root(text);
}

void IPCManager::server_set_deadlines(const std::string& name, uint32_t request_timeout_s, uint32_t keep_alive_s) {
    IPCMutexGuard guard(get_lock());
    for (IPCServer* server : servers_named(name)) {
        server->set_request_timeout(request_timeout_s);
        server->set_keep_alive(keep_alive_s);
    }
}

void IPCManager::server_set_protocol(const std::string& name, const std::string& protocol) {
    IPCMutexGuard guard(get_lock());
    const std::vector<IPCServer*> named = servers_named(name);
    if (!named.empty()) named.front()->set_protocol(protocol);
}

void IPCManager::server_send(const Message& message, const std::string& server, const std::string& endpoint) {
    IPCMutexGuard guard(get_lock());
    if (IPCServer* live = find_server(server)) live->deliver_to(message, endpoint);
}

void IPCManager::forward_via(const Message& message, const std::string& name, const IPCEndpointServer& origin) {
    IPCMutexGuard guard(get_lock());
    if (IPCEndpointClient* endpoint = find_endpoint(name)) endpoint->forward(message, origin);
}

bool IPCManager::find_server_match(const std::string& name) {
    IPCMutexGuard guard(get_lock());
    for (auto& entry : servers_) {
        if (entry.second->poll_endpoints(name)) return true;
    }
    return false;
}

void IPCManager::publish(const Message& message, const std::string& server, const std::string& from,
                         IPCEndpointServer* sender) {
    IPCMutexGuard guard(get_lock());
    if (!server.empty()) {
        if (IPCServer* live = find_server(server)) live->broadcast(message, from, sender);
        return;
    }
    for (auto& entry : servers_) entry.second->broadcast(message, from, sender);
}

void IPCManager::post(const Message& message, const std::string& server, const std::string& from,
                      IPCEndpointServer* sender) {
    IPCMutexGuard queue_guard(get_queue_lock());
    posts_.push_back(PostedMessage{message, server, from, sender});
    wake();
}

IPCEndpointClient* IPCManager::find_endpoint(const std::string& name) const {
    const auto it = endpoints_.find(name);
    return it == endpoints_.end() ? nullptr : it->second.endpoint;
}
