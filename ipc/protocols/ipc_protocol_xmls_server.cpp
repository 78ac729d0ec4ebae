#include "ipc/protocols/ipc_protocol_xmls_server.h"

#include "ipc/base/ipc_string.h"
#include "ipc/base/logger.h"
#include "ipc/base/md5.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_server.h"

namespace {

// Clears a flag when it goes out of scope, whatever way it leaves.
class FlagReset {
public:
    explicit FlagReset(bool& flag) : flag_(flag) {}
    ~FlagReset() { flag_ = false; }
    FlagReset(const FlagReset&) = delete;
    FlagReset& operator=(const FlagReset&) = delete;

private:
    bool& flag_;
};

}  // namespace

std::string IPCProtocolXMLSServer::legacy_reply_name(const std::string& request_name) {
    if (request_name == "getConfig") return "vantixConfig";
    if (request_name.compare(0, 3, "get") == 0 || request_name.compare(0, 3, "set") == 0) {
        std::string rest = request_name.substr(3);
        if (!rest.empty() && rest[0] >= 'A' && rest[0] <= 'Z') rest[0] = static_cast<char>(rest[0] - 'A' + 'a');
        return rest;
    }
    return request_name;
}

void IPCProtocolXMLSServer::receive_message(Message& request) {
    {
        is_holding_ = true;
        FlagReset holding(is_holding_);
        IPCEndpointServer* server_endpoint = conn->find_or_create_endpoint_server();
        if (!server_endpoint) return;
        server_endpoint->touch();

        if (request.name() == "hello" && request.attributes().has("version")) {
            peer_version_ = request.attributes().get_uint("version", 0);
        }
        std::string reply_name = peer_version_ == 0 ? legacy_reply_name(request.name()) : "resp";
        // A reply without a name would pass for one put off until later ("get" alone names none):
        // such a request is answered as "resp", so that its error reaches the peer.
        if (reply_name.empty()) reply_name = "resp";
        Message reply;
        reply.set_name(reply_name);
        if (answer_before_dispatch(request, reply)) {
            is_holding_ = false;
            answer(request, reply);
        } else {
            const bool is_reply_due = conn->handle_request(request, reply);
            if (!is_reply_due && peer_version_ == 0) {
                // The reply will come later: read nothing more from this peer until it has gone.
                deferred_reply_name_ = reply_name;
                conn->set_read_hold(true);
            }
            is_holding_ = false;
            if (is_reply_due && !(peer_version_ == 0 && reply.name() == "none")) answer(request, reply);
        }
    }
    flush_held();
}

bool IPCProtocolXMLSServer::answer_before_dispatch(const Message& request, Message& reply) {
    IPCEndpointServer* server_endpoint = conn->endpoint_server();
    if (!server_endpoint->find_handler(request.name())) {
        if (request.name() == "login") {
            check_login(request, reply);
            return true;
        }
        if (request.name() == "policy-file-request") {
            send_policy(reply);
            return true;
        }
        if (request.name() == "ping") {
            send_pong(reply);
            return true;
        }
    }
    if (server_endpoint->needs_auth() && !is_logged_in_) {
        send_challenge(reply);
        return true;
    }
    return request.name() == "hello";
}

void IPCProtocolXMLSServer::answer(const Message& request, Message& reply) {
    if (request.attributes().has("seq")) reply.attributes().set("seq", request.attributes().get_string("seq", ""));
    transmit_reply(reply);
}

void IPCProtocolXMLSServer::flush_held() {
    std::list<Message> held;
    held.swap(held_);
    for (const Message& message : held) transmit_message(message);
}

void IPCProtocolXMLSServer::check_login(const Message& request, Message& reply) {
    IPCEndpointServer* server_endpoint = conn->endpoint_server();
    if (peer_version_ == 0) reply.set_name("login");
    if (!server_endpoint->needs_auth()) {
        reply.attributes().set("success", true);
        return;
    }
    if (!request.attributes().has("response")) {
        send_challenge(reply);
        return;
    }
    const std::string user = request.attributes().get_string("username", "");
    const std::string response = request.attributes().get_string("response", "");
    std::string password;
    std::string role;
    std::string challenge;
    const bool is_accepted = server_endpoint->lookup_account(user, password, role) &&
                             server_endpoint->pop_nonce(challenge) &&
                             ipc_equal_in_constant_time(ipc_md5_hex_pair(password, challenge), response);
    if (is_accepted) {
        is_logged_in_ = true;
        reply.attributes().set("success", true);
        reply.attributes().set("role", role);
        server_endpoint->set_login(true, user, role);
        return;
    }
    // A refusal leaves an earlier login of this connection, and its user and role, as they were.
    if (peer_version_ == 0) {
        reply.attributes().set("success", false);
    } else {
        IPCEndpoint::set_error(reply, 403, "Forbidden");
    }
    reply.attributes().set("challenge", server_endpoint->new_nonce(true));
    if (++refused_logins_ >= kMaxRefusedLogins) {
        ipc_logger().log(3, "xmls: %d refused logins from %s; dropping the connection", refused_logins_,
                         conn->address().to_string().c_str());
        conn->set_error("too many refused logins");
    }
}

void IPCProtocolXMLSServer::send_challenge(Message& reply) {
    const std::string challenge = conn->endpoint_server()->new_nonce(true);
    if (peer_version_ == 0) {
        reply.set_name("login");
    } else {
        IPCEndpoint::set_error(reply, 401, "Authorization Required");
    }
    reply.attributes().set("challenge", challenge);
}

void IPCProtocolXMLSServer::send_policy(Message& reply) {
    reply.set_name("cross-domain-policy");
    reply.add_child("site-control").attributes().set("permitted-cross-domain-policies", "all");
    Message& access = reply.add_child("allow-access-from");
    access.attributes().set("domain", "*");
    access.attributes().set("to-ports", "*");
}

void IPCProtocolXMLSServer::send_pong(Message& reply) {
    if (peer_version_ == 0) reply.set_name("pong");
}

void IPCProtocolXMLSServer::transmit_reply(const Message& reply) {
    if (peer_version_ == 0 && reply.name() == "softwareUpdate" && !reply.attributes().has("fail") &&
        !reply.attributes().has("port")) {
        return;
    }
    transmit_xml(reply);
}

int IPCProtocolXMLSServer::transmit_message(const Message& message) {
    if (is_holding_) {
        held_.push_back(message);
        return 1;
    }
    if (peer_version_ != 0) {
        transmit_xml(message);
        return 1;
    }
    if (message.name() == "unso") {
        if (message.size() > 0) transmit_xml(message.get_child(0));
        return 1;
    }
    Message deferred = message;
    deferred.set_name(deferred_reply_name_);
    transmit_reply(deferred);
    conn->set_read_hold(false);
    return 1;
}

bool IPCProtocolXMLSServer::delivers_unsubscribed(const std::string& name) const {
    return peer_version_ == 0 && name == "sys:codeUpdate";
}
