#include "ipc/protocols/ipc_protocol_esl_client.h"

#include <exception>
#include <vector>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "ipc/base/logger.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_client.h"

namespace {

const char kPrimer[] = "HTTP/1.1 200 OK\n";

// A line break inside a piece would let it add lines, or whole commands, of its own.
const std::string& single_line(const std::string& piece) {
    if (piece.find_first_of("\r\n") != std::string::npos) throw Exception("esl: Line break in command");
    return piece;
}

}  // namespace

IPCProtocolESLClient::IPCProtocolESLClient(IPCConn* connection) : IPCProtocol(connection), parser_("\n") {
    parser_.set_unknown_length(http_message::UnknownLength::kNone);
    reset_parser();
}

void IPCProtocolESLClient::reset_parser() {
    parser_.reset();
    parser_.parse(kPrimer, sizeof kPrimer - 1);
}

void IPCProtocolESLClient::reset() {
    reset_parser();
    login_ = Login::kAwaitingRequest;
    is_busy_ = false;
    ++reset_count_;
}

size_t IPCProtocolESLClient::receive_data(const char* data, size_t length) {
    parser_.set_body_limit(conn->receive_limit());
    const uint64_t resets_before = reset_count_;
    size_t position = 0;
    while (position < length && login_ != Login::kRefused) {
        try {
            position += parser_.parse(data + position, static_cast<uint32_t>(length - position));
        } catch (const std::exception& e) {
            reset_parser();
            conn->set_error(e.what());
            return length;
        }
        if (!parser_.is_complete()) continue;
        handle_block();
        if (reset_count_ != resets_before) return length;
        reset_parser();
    }
    return length;
}

void IPCProtocolESLClient::handle_block() {
    const std::string type = parser_.header("content-type");
    if (type == "auth/request") {
        answer_auth_request();
    } else if (login_ == Login::kAwaitingVerdict && type == "command/reply") {
        take_verdict();
    } else if (type == "command/reply" || type == "api/response") {
        take_reply(type == "api/response");
    } else if (type == "text/event-xml") {
        take_event();
    }
}

void IPCProtocolESLClient::answer_auth_request() {
    IPCEndpointClient* endpoint = conn->endpoint_client();
    const std::string password = endpoint ? endpoint->getPassword() : kDefaultPassword;
    if (password.find_first_of("\r\n") != std::string::npos) {
        ipc_logger().log(3, "esl: password for %s holds a line break; not sent", conn->address().to_string().c_str());
        refuse_login();
        return;
    }
    conn->send_data("auth " + password + "\n\n");
    login_ = Login::kAwaitingVerdict;
}

void IPCProtocolESLClient::take_verdict() {
    if (parser_.header("reply-text").compare(0, 3, "+OK") != 0) {
        refuse_login();
        return;
    }
    login_ = Login::kDone;
    if (IPCEndpointClient* endpoint = conn->endpoint_client()) endpoint->on_authenticated();
}

void IPCProtocolESLClient::refuse_login() {
    login_ = Login::kRefused;
    conn->set_error("authentication failure");
    if (IPCEndpointClient* endpoint = conn->endpoint_client()) endpoint->on_auth_failed();
}

void IPCProtocolESLClient::take_reply(bool is_api_response) {
    // A reply with nothing in flight answers no one.
    if (!is_busy_) return;
    Message reply;
    reply.set_name("resp");
    if (!is_api_response) {
        reply.attributes().set("text", parser_.header("reply-text"));
    } else if (in_flight_.attributes().get_string("fmt", "") == "xml") {
        try {
            Message body;
            body.parse_from_peer(parser_.body());
            reply.add_child_copy(body);
        } catch (const std::exception& e) {
            reply.attributes().set("err", e.what());
            reply.attributes().set("text", parser_.body());
        }
    } else {
        reply.attributes().set("text", parser_.body());
    }
    if (in_flight_.attributes().has("seq"))
        reply.attributes().set("seq", in_flight_.attributes().get_string("seq", ""));
    // Free before the endpoint sees the reply: it sends its next queued request right after.
    is_busy_ = false;
    conn->rx_message(reply);
}

void IPCProtocolESLClient::take_event() {
    try {
        Message event;
        event.parse_from_peer(parser_.body());
        event.set_name("unso");
        const Message& headers = event.get_child("headers", 0);
        std::string name = headers.get_child("Event-Name", 0).value().to_string();
        if (name == "CUSTOM") name = ipc_url_decode(headers.get_child("Event-Subclass", 0).value().to_string());
        event.attributes().set("id", name);
        conn->rx_message(event);
    } catch (const std::exception& e) {
        conn->set_error(e.what());
    }
}

int IPCProtocolESLClient::transmit_message(const Message& message) {
    if (login_ != Login::kDone || is_busy_) return 0;
    std::string text;
    try {
        text = command_text(message);
    } catch (const Exception& e) {
        refuse_request("esl", message, e.what());
        return 1;
    }
    is_busy_ = true;
    in_flight_ = message;
    conn->send_data(text);
    return 1;
}

std::string IPCProtocolESLClient::command_text(const Message& request) {
    if (request.name() == "subscribe") return "event xml " + single_line(event_name(request)) + "\n\n";
    if (request.name() == "unsubscribe") return "nixevent " + single_line(event_name(request)) + "\n\n";
    std::string text = single_line(request.attributes().get_string("text", "")) + "\n";
    for (unsigned i = 0; i < request.child_count("header"); ++i) {
        const Message::Attributes& header = request.get_child("header", i).attributes();
        text += single_line(header.get_string("name", "")) + ": " + single_line(header.get_string("value", "")) + "\n";
    }
    return text + "\n";
}

std::string IPCProtocolESLClient::event_name(const Message& request) {
    std::vector<std::string> plain;
    std::vector<std::string> custom;
    for (unsigned i = 0; i < request.child_count("sub"); ++i) {
        const std::string id = request.get_child("sub", i).attributes().get_string("id", "ALL");
        (id.find("::") != std::string::npos ? custom : plain).push_back(id);
    }
    std::string list = ipc_join(plain, " ");
    if (!custom.empty()) list += " CUSTOM " + ipc_join(custom, " ");
    return list;
}
