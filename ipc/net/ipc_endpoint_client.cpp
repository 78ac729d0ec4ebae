#include "ipc/net/ipc_endpoint_client.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "ipc/base/ipc_clock.h"
#include "ipc/base/logger.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_server.h"
#include "ipc/net/ipc_manager.h"

IPCEndpointClient::IPCEndpointClient() = default;

IPCEndpointClient::~IPCEndpointClient() {
    if (manager_ && manager_->forget_endpoint(this)) {
        // Until this point the loop may have called the overrides of a subclass already destroyed.
        ipc_report_misuse("IPCEndpointClient destroyed while registered: remove_endpoint() it first");
    }
    if (connection_) {
        release_connection();
        IPCEndpointClient::on_connection_state();
    }
    if (manager_) manager_->endpoint_destroyed(name_);
}

void IPCEndpointClient::release_connection() {
    IPCConn* released = connection_;
    connection_ = nullptr;
    released->clear_endpoints();
    // The loop may be about to dispatch this connection's events: only the loop thread deletes it.
    if (manager_) {
        manager_->retire_connection(released);
    } else {
        delete released;
    }
}

void IPCEndpointClient::set_connection(IPCConn* connection) {
    if (connection_) {
        release_connection();
        on_connection_state();
    }
    connection_ = connection;
    if (connection_) connection_->set_endpoint_client(this);
    on_connection_state();
}

void IPCEndpointClient::drop_connection() {
    if (!connection_) return;
    release_connection();
    on_connection_state();
}

void IPCEndpointClient::detach_connection(IPCConn* connection) {
    if (connection_ != connection) return;
    connection_ = nullptr;
    on_connection_state();
}

void IPCEndpointClient::on_connection_state() {
    version_ = protocol_version();
    touch();
    tick_due_changed();
    // Replies to forwarded requests cannot come over a new connection.
    if (!connection_ || connection_->state() == IPCConn::CLOSED) forwards_.clear();
    flush_queue();
    if (connection_ && connection_->state() == IPCConn::CONNECTED && !subscriptions_.empty()) {
        send(subscription_list_request());
    }
}

void IPCEndpointClient::tick() {
    IPCEndpoint::tick();
    give_up_forwards(kMaxForwards);
}

int64_t IPCEndpointClient::next_tick_due_us() const {
    int64_t due_us = IPCEndpoint::next_tick_due_us();
    if (timeout_s_ == 0) return due_us;
    for (const auto& entry : forwards_) {
        due_us = std::min(due_us, entry.second.forwarded_us + int64_t{timeout_s_} * 1000000);
    }
    return due_us;
}

void IPCEndpointClient::tick_due_changed() {
    if (manager_) manager_->schedule_tick(this);
}

void IPCEndpointClient::on_timeout() {
    // A peer that stopped answering may take the bytes still queued much later, on a connection
    // given up by then: they are dropped with it.
    if (!connection_) return;
    connection_->abort(connection_->is_trickling() ? "bytes came too slowly" : "timed out");
}

void IPCEndpointClient::on_authenticated() {
    flush_queue();
}

void IPCEndpointClient::send(const Message& message) {
    trace("rx to", message);
    if (queue_.empty() && connection_ && connection_->send(message)) return;
    enqueue(message);
}

bool IPCEndpointClient::is_internal_subscribe(const Message& message) {
    return message.name() == "subscribe" && message.attributes().get_string("seq", "") == "internal";
}

void IPCEndpointClient::enqueue(const Message& message) {
    if (is_internal_subscribe(message)) {
        // One queued request with every current subscription replaces any number of older ones.
        for (Message& queued : queue_) {
            if (is_internal_subscribe(queued)) {
                queued = subscription_list_request();
                return;
            }
        }
        queue_.push_back(subscription_list_request());
        return;
    }
    size_t request_count = 0;
    for (const Message& queued : queue_) request_count += is_internal_subscribe(queued) ? 0 : 1;
    if (request_count >= kQueueLimit) {
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if (is_internal_subscribe(*it)) continue;
            ipc_logger().log(3, "queue of %s full: dropping the oldest request '%s'", name_.c_str(),
                             it->name().c_str());
            queue_.erase(it);
            break;
        }
    }
    queue_.push_back(message);
}

void IPCEndpointClient::flush_queue() {
    if (is_flushing_) return;
    is_flushing_ = true;
    while (!queue_.empty() && connection_) {
        Message next = std::move(queue_.front());
        queue_.pop_front();
        if (!connection_->send(next)) {
            queue_.push_front(std::move(next));
            break;
        }
    }
    is_flushing_ = false;
}

void IPCEndpointClient::receive(Message&& message) {
    struct Restore {
        Message*& takeable;
        Message* outer;  // a reply made up while a received message is handled nests inside it
        ~Restore() { takeable = outer; }
    } restore{takeable_, takeable_};
    takeable_ = &message;
    receive(static_cast<const Message&>(message));
}

Message IPCEndpointClient::take(const Message& message) {
    if (&message != takeable_) return message;
    Message* const source = takeable_;
    takeable_ = nullptr;  // taken once; what is left is empty
    return std::move(*source);
}

void IPCEndpointClient::receive(const Message& message) {
    touch();
    trace("rx from", message);
    if (message.name() != "resp") {
        handle_unsolicited(message);
        if (message.size() > 0) handle_unso_payload(message.attributes().get_string("id", ""), message.get_child(0));
    } else {
        const std::string seq = message.attributes().get_string("seq", "");
        if (seq.compare(0, 4, "fwd-") == 0) {
            return_forwarded_reply(message, seq);
        } else if (seq != "internal") {  // "internal" answers our own (un)subscribe
            handle_response(message);
        }
    }
    flush_queue();
}

void IPCEndpointClient::add_subscription(Message& request, const std::string& id, uint32_t interval_ms) {
    Message& sub = request.add_child("sub");
    sub.attributes().set("id", id);
    if (interval_ms != 0) sub.attributes().set("interval", static_cast<unsigned>(interval_ms));
}

Message IPCEndpointClient::internal_request(const char* name) {
    Message request;
    request.set_name(name);
    request.attributes().set("seq", "internal");
    return request;
}

Message IPCEndpointClient::subscription_list_request() const {
    Message request = internal_request("subscribe");
    for (const auto& [id, interval_ms] : subscriptions_) add_subscription(request, id, interval_ms);
    return request;
}

void IPCEndpointClient::subscribe(const std::string& name, uint32_t interval_ms) {
    subscriptions_[name] = interval_ms;
    if (connection_ && connection_->state() == IPCConn::CONNECTED) {
        Message request = internal_request("subscribe");
        add_subscription(request, name, interval_ms);
        send(request);
    }
}

void IPCEndpointClient::unsubscribe(const std::string& name) {
    subscriptions_.erase(name);
    if (connection_ && connection_->state() == IPCConn::CONNECTED) {
        Message request = internal_request("unsubscribe");
        add_subscription(request, name, 0);
        send(request);
    }
}

void IPCEndpointClient::forward(const Message& request, const IPCEndpointServer& origin) {
    give_up_forwards(kMaxForwards - 1);
    const std::string id = "fwd-" + std::to_string(++forward_counter_);
    forwards_[id] = ForwardRecord{request.attributes().get_string("seq", ""), origin.name(), origin.id(),
                                  forward_counter_, ipc_now_us()};
    Message relayed = request;
    relayed.attributes().set("seq", id);
    send(relayed);
    tick_due_changed();
}

void IPCEndpointClient::return_forwarded_reply(const Message& reply, const std::string& seq) {
    const auto record = forwards_.find(seq);
    if (record == forwards_.end()) return;
    Message returned = reply;
    returned.attributes().set("seq", record->second.seq);
    const ForwardRecord target = record->second;
    forwards_.erase(record);
    if (manager_) manager_->server_send(returned, target.server, target.endpoint_id);
}

void IPCEndpointClient::give_up_forwards(size_t keep) {
    const int64_t now = ipc_now_us();
    const auto is_stale = [&](const ForwardRecord& record) {
        return timeout_s_ != 0 && now - record.forwarded_us >= int64_t{timeout_s_} * 1000000;
    };
    const auto give_up = [&](std::map<std::string, ForwardRecord>::iterator record) {
        ipc_logger().log(3, "%s: no reply to forwarded request %s; giving it up", name_.c_str(), record->first.c_str());
        return forwards_.erase(record);
    };
    for (auto it = forwards_.begin(); it != forwards_.end();) {
        it = is_stale(it->second) ? give_up(it) : std::next(it);
    }
    while (forwards_.size() > keep) {
        give_up(std::min_element(forwards_.begin(), forwards_.end(),
                                 [](const auto& a, const auto& b) { return a.second.number < b.second.number; }));
    }
}
