#include "ipc/protocols/ipc_protocol_xmls_client.h"

#include <utility>

#include "ipc/base/logger.h"
#include "ipc/base/md5.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_client.h"

void IPCProtocolXMLSClient::reset() {
    IPCProtocolXMLS::reset();
    is_ready_ = false;
    has_answered_challenge_ = false;
}

void IPCProtocolXMLSClient::on_state() {
    IPCEndpointClient* endpoint = conn->endpoint_client();
    if (conn->state() != IPCConn::CONNECTED || !endpoint) return;

    const int version = endpoint->version();
    if (version == 0) {
        Message login;
        login.set_name("login");
        transmit_xml(login);
        return;
    }
    Message hello;
    hello.set_name("hello");
    hello.attributes().set("seq", "hello");
    hello.attributes().set("version", static_cast<unsigned>(version));
    transmit_xml(hello);

    Message ping;
    ping.set_name("ping");
    ping.attributes().set("seq", "ping");
    transmit_xml(ping);
}

int IPCProtocolXMLSClient::transmit_message(const Message& message) {
    if (!is_ready_) return 0;
    transmit_xml(message);
    return 1;
}

void IPCProtocolXMLSClient::transmit_xml(const Message& message) {
    IPCProtocolXMLS::transmit_xml(message);
    IPCEndpointClient* endpoint = conn->endpoint_client();
    if (!endpoint || endpoint->version() != 0) return;

    // The unversioned dialect has no replies of its own: every request is answered here, at once.
    Message reply;
    reply.set_name("resp");
    if (message.attributes().has("seq")) reply.attributes().set("seq", message.attributes().get_string("seq", ""));
    conn->rx_message(reply);
}

void IPCProtocolXMLSClient::receive_message(Message& message) {
    IPCEndpointClient* endpoint = conn->endpoint_client();
    if (!endpoint) return;
    if (endpoint->version() == 0) {
        receive_unversioned(message);
        return;
    }

    const Message::Attributes& attributes = message.attributes();
    const std::string seq = attributes.get_string("seq", "");
    const bool has_failed = attributes.has("fail");
    if (has_failed && attributes.get_uint("error_code", 0) == 401) {
        on_challenge(message);
    } else if (seq == "login") {
        login_result(message);
    } else if (seq == "hello") {
        if (has_failed) {
            ipc_logger().log(3, "xmls: greeting of %s answered with error %u (%s); going on without login",
                             conn->address().to_string().c_str(), attributes.get_uint("error_code", 0),
                             attributes.get_string("error_text", "").c_str());
        }
        set_ready();
    } else if (message.name() == "pong" && seq != "ping") {
        endpoint->set_version(0);
        on_state();
    } else {
        conn->rx_message(std::move(message));
    }
}

void IPCProtocolXMLSClient::receive_unversioned(Message& message) {
    if (message.name() != "login") {
        conn->rx_message(std::move(message));
        return;
    }
    const Message::Attributes& attributes = message.attributes();
    if (attributes.has("challenge")) {
        on_challenge(message);
    } else if (attributes.has("success")) {
        login_result(message);
    }
}

void IPCProtocolXMLSClient::on_challenge(const Message& challenge) {
    if (has_answered_challenge_) {
        fail_login();
    } else {
        answer_challenge(challenge);
    }
}

void IPCProtocolXMLSClient::answer_challenge(const Message& challenge) {
    IPCEndpointClient* endpoint = conn->endpoint_client();
    if (!endpoint) return;
    Message login;
    login.set_name("login");
    login.attributes().set("seq", "login");
    login.attributes().set("username", endpoint->getUser());
    login.attributes().set("response", ipc_md5_hex_pair(endpoint->getPassword(),
                                                        challenge.attributes().get_string("challenge", "")));
    has_answered_challenge_ = true;
    transmit_xml(login);
}

void IPCProtocolXMLSClient::login_result(const Message& reply) {
    const bool is_accepted = reply.attributes().get_bool("success", true) && !reply.attributes().has("fail");
    if (is_accepted) {
        set_ready();
    } else {
        fail_login();
    }
}

void IPCProtocolXMLSClient::set_ready() {
    is_ready_ = true;
    if (IPCEndpointClient* endpoint = conn->endpoint_client()) endpoint->on_authenticated();
}

void IPCProtocolXMLSClient::fail_login() {
    conn->set_error("authentication failure");
    if (IPCEndpointClient* endpoint = conn->endpoint_client()) endpoint->on_auth_failed();
}
