#include "ipc/net/ipc_endpoint_server.h"

#include <algorithm>

#include "ipc/base/ipc_clock.h"
#include "ipc/base/ipc_random.h"
#include "ipc/base/ipc_string.h"
#include "ipc/base/logger.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_expendable_sessions.h"
#include "ipc/net/ipc_protocol.h"

namespace {

// The IPv4 loopback network: peers there are trusted (no login, no rate limit).
bool is_loopback_v4(const IPCAddress& peer) {
    return peer.family() == AF_INET && peer.host_string().compare(0, 4, "127.") == 0;
}

template <typename Nonces>
auto find_issued(Nonces& nonces, const std::string& nonce) {
    return std::find_if(nonces.begin(), nonces.end(), [&](const auto& issued) { return issued.text == nonce; });
}

}  // namespace

IPCEndpointServer::IPCEndpointServer() = default;

IPCEndpointServer::~IPCEndpointServer() {
    if (owing_connection_) owing_connection_->set_endpoint_server(nullptr);
    if (connection_) {
        connection_->close();
        connection_->clear_endpoints();
        connection_ = nullptr;
    }
}

void IPCEndpointServer::set_conn(IPCConn* connection) {
    if (connection == connection_) return;
    IPCConn* previous = connection_;
    if (previous && previous->protocol() && !previous->protocol()->is_connection_bound()) {
        connection_ = nullptr;
        // A browser's session moves between its parallel connections; one still waiting for a
        // put-off reply stays linked until send_deferred answers it there.
        if (previous->protocol()->is_reply_owed() && !owing_connection_) {
            owing_connection_ = previous;
        } else {
            previous->set_endpoint_server(nullptr);
        }
    } else {
        release_connection();
    }
    connection_ = connection;
    if (connection_) connection_->set_endpoint_server(this);
    report_standing();
    on_connection_state();
}

void IPCEndpointServer::release_connection() {
    if (!connection_) return;
    IPCConn* released = connection_;
    released->close();
    released->clear_endpoints();
    connection_ = nullptr;
    report_standing();
    on_connection_state();
}

void IPCEndpointServer::detach_connection(IPCConn* connection) {
    if (owing_connection_ == connection) owing_connection_ = nullptr;
    if (connection_ != connection) return;
    connection_ = nullptr;
    report_standing();
    on_connection_state();
}

void IPCEndpointServer::send_deferred(const Message& message) {
    IPCConn* const owing = owing_connection_;
    IPCConn* const target = owing ? owing : connection_;
    if (!target) return;
    trace("tx def rsp to", message);
    target->send(message);
    // Answered, the connection the session had left is let go (detach_connection forgets it).
    if (owing && owing_connection_ == owing) owing->set_endpoint_server(nullptr);
}

bool IPCEndpointServer::is_due(const std::string& name) {
    const auto subscribed = subscriptions_.find(name);
    if (subscribed == subscriptions_.end()) {
        return connection_ && connection_->protocol() && connection_->protocol()->delivers_unsubscribed(name);
    }
    const uint32_t interval_ms = subscribed->second;
    if (interval_ms == 0) return true;
    const int64_t now = ipc_now_us();
    const auto last = last_sent_us_.find(name);
    if (last != last_sent_us_.end() && now - last->second < int64_t{interval_ms} * 1000) return false;
    last_sent_us_[name] = now;
    return true;
}

uint32_t IPCEndpointServer::subscription(const std::string& name) const {
    const auto it = subscriptions_.find(name);
    return it == subscriptions_.end() ? 0 : it->second;
}

void IPCEndpointServer::notify(const Message& message, const std::string& name) {
    if (!is_due(name)) return;
    Message unso;
    unso.set_name("unso");
    unso.attributes().set("id", name);
    unso.add_child_copy(message);
    send_unso(unso);
}

void IPCEndpointServer::send_unso(const Message& message) {
    if ((!needs_auth() || is_authenticated_) && connection_ && connection_->send(message)) {
        trace("tx unso to", message);
        return;
    }
    if (pending_.size() >= kMaxPending) pending_.pop_front();
    pending_.push_back(message);
}

bool IPCEndpointServer::pop_pending(Message& out) {
    if (pending_.empty()) return false;
    out = pending_.front();
    pending_.pop_front();
    return true;
}

bool IPCEndpointServer::is_trusted_peer() const {
    return connection_ && is_loopback_v4(connection_->address());
}

bool IPCEndpointServer::needs_auth() const {
    return !connection_ || needs_auth_from(connection_->address());
}

bool IPCEndpointServer::needs_auth_from(const IPCAddress& peer) const {
    return !is_loopback_v4(peer);
}

bool IPCEndpointServer::lookup_account(const std::string& user, std::string& password, std::string&) const {
    password = password_for(user);
    return !password.empty();
}

std::string IPCEndpointServer::password_for(const std::string&) const {
    return {};
}

bool IPCEndpointServer::handle_command(const Message&, Message&) {
    return false;
}

void IPCEndpointServer::set_login(bool is_authenticated, const std::string& user, const std::string& role) {
    is_authenticated_ = is_authenticated;
    has_passed_check_ = has_passed_check_ || is_authenticated;
    user_ = user;
    role_ = role;
    report_standing();
}

void IPCEndpointServer::touch() {
    IPCEndpoint::touch();
    report_standing();
}

void IPCEndpointServer::set_expendables(IPCExpendableSessions* expendables) {
    if (expendables_) expendables_->remove(this);
    expendables_ = expendables;
    report_standing();
}

void IPCEndpointServer::report_standing() {
    if (expendables_) expendables_->update(this);
}

std::string IPCEndpointServer::new_nonce(bool forget_older) {
    if (forget_older) nonces_.clear();
    const std::string nonce = ipc_bytes_to_hex(ipc_random_string(16));
    if (nonces_.size() >= kMaxNonces) nonces_.erase(nonces_.begin());
    nonces_.push_back(IssuedNonce{nonce, ipc_now_us(), 0});
    return nonce;
}

bool IPCEndpointServer::find_nonce(const std::string& nonce) const {
    return find_issued(nonces_, nonce) != nonces_.end();
}

bool IPCEndpointServer::pop_nonce(std::string& out) {
    if (nonces_.empty()) return false;
    const auto first = std::min_element(nonces_.begin(), nonces_.end(),
                                        [](const IssuedNonce& a, const IssuedNonce& b) { return a.text < b.text; });
    out = first->text;
    nonces_.erase(first);
    return true;
}

bool IPCEndpointServer::is_nonce_fresh(const std::string& nonce, uint32_t max_age_s) const {
    const auto issued = find_issued(nonces_, nonce);
    return issued != nonces_.end() && ipc_now_us() - issued->issued_us <= int64_t{max_age_s} * 1000000;
}

bool IPCEndpointServer::raise_nonce_count(const std::string& nonce, uint32_t count) {
    const auto issued = find_issued(nonces_, nonce);
    if (issued == nonces_.end() || count <= issued->highest_count) return false;
    issued->highest_count = count;
    return true;
}

bool IPCEndpointServer::check_nonce_count(const std::string& nonce, uint32_t count) {
    if (nonce != last_nonce_) {
        last_nonce_ = nonce;
        last_nonce_count_ = count;
        return true;
    }
    if (count <= last_nonce_count_) return false;
    last_nonce_count_ = count;
    return true;
}

bool IPCEndpointServer::admit_request() {
    if (is_trusted_peer()) return true;
    const int64_t now = ipc_now_us();
    if (window_count_ == 0 || (now - window_start_us_) / 1000000 > kRateWindowS) {
        window_count_ = 0;
        window_start_us_ = now;
    }
    return ++window_count_ <= kRateLimit;
}

bool IPCEndpointServer::handle_request(const Message& request, Message& reply) {
    if (!admit_request()) {
        // Past the limit nothing is dispatched: the peer is told, and its connection is dropped.
        set_error(reply, 429, "excessive request rate");
        if (connection_) connection_->set_error("excessive request rate");
        return !reply.name().empty();
    }
    if (handled_requests_ != UINT32_MAX) ++handled_requests_;
    trace("rx req from", request);
    if (!dispatch(request, reply)) set_error(reply, 404, "Unknown Command");
    trace("tx rsp to", reply);
    return !reply.name().empty();
}

bool IPCEndpointServer::dispatch(const Message& request, Message& reply) {
    const std::string& name = request.name();
    if (find_handler(name)) return handle_command(request, reply);
    if (name == "ping") return true;
    if (name == "subscribe") return subscribe(request);
    if (name == "unsubscribe") {
        unsubscribe(request);
        return true;
    }
    if (name == "log") {
        set_log_level(request);
        return true;
    }
    if (name == "log_cats") {
        list_log_categories(reply);
        return true;
    }
    return handle_command(request, reply);
}

bool IPCEndpointServer::subscribe(const Message& request) {
    for (int row = 0; row < request.size(); ++row) {
        const Message& sub = request.get_child(row);
        if (sub.name() != "sub" || !sub.attributes().has("id")) continue;
        const std::string id = sub.attributes().get_string("id", "");
        if (subscriptions_.count(id) == 0 && subscriptions_.size() >= kMaxSubscriptions) {
            ipc_logger().log(3, "subscription '%s' from %s refused: %zu subscriptions already", id.c_str(),
                             description().c_str(), kMaxSubscriptions);
            continue;
        }
        subscriptions_[id] = sub.attributes().get_uint("interval", 0);
    }
    return true;
}

void IPCEndpointServer::unsubscribe(const Message& request) {
    if (request.child_count("sub") == 0) {
        subscriptions_.clear();
        return;
    }
    for (unsigned i = 0; i < request.child_count("sub"); ++i) {
        subscriptions_.erase(request.get_child("sub", i).attributes().get_string("id", ""));
    }
}

void IPCEndpointServer::set_log_level(const Message& request) {
    const Message::Attributes& attributes = request.attributes();
    if (attributes.has("level")) {
        const int level = Logger::level_from_string(attributes.get_string("level", ""));
        if (attributes.has("cat")) {
            ipc_logger().set_level(ipc_logger().find_category(attributes.get_string("cat", "")), level);
        } else if (attributes.has("cat_id")) {
            ipc_logger().set_level(static_cast<int>(attributes.get_uint("cat_id", 0)), level);
        } else {
            ipc_logger().set_level_all(level);
        }
    }
    is_tracing_ = attributes.get_bool("ep", false);
}

void IPCEndpointServer::list_log_categories(Message& reply) const {
    for (int category = 0; category < Logger::kCategoryCount; ++category) {
        const std::string name = ipc_logger().category_name(category);
        if (name.empty()) continue;
        Message& cat = reply.add_child("cat");
        cat.attributes().set("id", static_cast<unsigned>(category));
        cat.attributes().set("name", name);
    }
}
