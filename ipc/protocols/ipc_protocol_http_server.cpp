#include "ipc/protocols/ipc_protocol_http_server.h"

#include <algorithm>
#include <exception>

#include "ipc/base/ipc_clock.h"
#include "ipc/message/message.h"
#include "ipc/message/message_attributes.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_server.h"

IPCProtocolHTTPServer::IPCProtocolHTTPServer(IPCConn* connection)
    : IPCProtocol(connection), response_("\r\n"), request_("\r\n"), idle_since_us_(ipc_now_us()) {
    request_.set_unknown_length(http_message::UnknownLength::kNone);
    // A response per request: without this, answers to pipelined requests would each wait for
    // the client's delayed acknowledgement of the one before.
    connection->send_without_delay();
}

void IPCProtocolHTTPServer::reset() {
    request_.reset();
    request_started_us_ = 0;
}

void IPCProtocolHTTPServer::read_query(const http_request& request, MessageAttributes& fields) {
    const std::string& target = request.uri();
    const size_t question = target.find('?');
    if (question == std::string::npos) return;
    fields.parse_url_form(target.substr(question + 1, target.find('#', question) - question - 1));
}

std::string IPCProtocolHTTPServer::status_reason(const std::string& text) {
    std::string reason = text;
    for (char& c : reason) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return reason;
}

size_t IPCProtocolHTTPServer::receive_data(const char* data, size_t length) {
    return is_closing_ ? length : read_requests(data, length);
}

size_t IPCProtocolHTTPServer::read_requests(const char* data, size_t length) {
    const int64_t now = ipc_now_us();
    last_input_us_ = now;
    request_.set_body_limit(conn->receive_limit());
    size_t position = 0;
    try {
        while (position < length && !conn->is_read_held() && !conn->is_failed()) {
            if (request_started_us_ == 0) request_started_us_ = now;
            position += request_.parse(data + position, static_cast<uint32_t>(length - position));
            if (!request_.is_header_complete()) continue;
            if (request_.header_count("transfer-encoding") != 0) {
                refuse_transfer_coding();
                return length;
            }
            if (!request_.is_complete()) continue;
            answer(request_);
            request_.reset();
            request_started_us_ = 0;
            update_read_hold();
        }
    } catch (const std::exception& e) {
        // Past a head the parser refuses, nothing on this connection can be framed any more.
        if (request_.header_count("transfer-encoding") != 0) {
            refuse_transfer_coding();
        } else {
            conn->set_error(e.what());
        }
        return length;
    }
    return conn->is_read_held() ? position : length;
}

void IPCProtocolHTTPServer::answer(const http_request& request) {
    response_.reset();
    response_.set_protocol("HTTP", 1, 1);
    // The answer to a HEAD prints the length a GET would get, without the body.
    response_.set_request_method(request.method());
    try {
        handle_request(request);
    } catch (const std::exception& e) {
        response_.reset();
        response_.set_protocol("HTTP", 1, 1);
        set_status(400, e.what());
    }
    if (response_.status() != 0) send_response();
}

bool IPCProtocolHTTPServer::dispatch(const Message& request, Message& reply) {
    if (conn->handle_request(request, reply)) return true;
    is_reply_pending_ = true;
    conn->set_read_hold(true);
    return false;
}

int IPCProtocolHTTPServer::transmit_message(const Message& message) {
    if (!is_reply_pending_ || message.name() == "unso") return 0;
    is_reply_pending_ = false;
    // The sender may be another thread's endpoint call: nothing may escape to it.
    try {
        write_reply(message);
        send_response();
    } catch (const std::exception& e) {
        conn->set_error(e.what());
    }
    update_read_hold();
    return 1;
}

void IPCProtocolHTTPServer::update_read_hold() {
    conn->set_read_hold(is_reply_pending_ || !conn->send_buffer().empty());
}

void IPCProtocolHTTPServer::set_status(uint32_t code, const std::string& reason) {
    response_.set_status(code, status_reason(reason));
}

void IPCProtocolHTTPServer::refuse_session() {
    if (conn->server() && conn->server()->is_full()) {
        set_status(503, "Too many sessions");
    } else {
        set_status(500, "No Session");
    }
}

void IPCProtocolHTTPServer::send_response() {
    finish_response();
    queue_response();
}

void IPCProtocolHTTPServer::queue_response() {
    response_.add_header("Access-Control-Allow-Origin", "*");
    response_.add_header("Access-Control-Allow-Headers", "*");
    // A 304 may carry no length but that of the 200 it stands for.
    if (response_.header_count("content-length") == 0 && response_.status() != 304) {
        response_.add_header("Content-Length", "0");
    }
    conn->send_data(response_.take_serialized());
    idle_since_us_ = ipc_now_us();
    is_delivery_watched_ = true;
}

void IPCProtocolHTTPServer::refuse_transfer_coding() {
    response_.set_request_method(request_.method());
    request_.reset();
    response_.reset();
    response_.set_protocol("HTTP", 1, 1);
    set_status(501, "Not Implemented");
    response_.add_header("Connection", "close");
    queue_response();
    is_closing_ = true;
    request_started_us_ = ipc_now_us();
    if (conn->send_buffer().empty()) {
        conn->shut_down_sending();
        has_shut_down_ = true;
    }
}

void IPCProtocolHTTPServer::on_tick() {
    const IPCServer* server = conn->server();
    if (server) check_deadlines(ipc_now_us(), server->request_timeout_s(), server->keep_alive_s());
}

void IPCProtocolHTTPServer::check_deadlines(int64_t now, uint32_t request_timeout_s, uint32_t keep_alive_s) {
    if (is_closing_ && !has_shut_down_ && conn->send_buffer().empty()) {
        conn->shut_down_sending();
        has_shut_down_ = true;
    }
    // A reply is owed: the peer waits for us, not we for it. Without its endpoint it can never come.
    if (is_reply_pending_ && conn->endpoint_server()) return;
    const int64_t request_timeout_us = int64_t{request_timeout_s} * 1000000;
    if (request_started_us_ != 0) {
        const int64_t since = request_.is_header_complete() ? last_input_us_ : request_started_us_;
        if (now - since > request_timeout_us) conn->set_error("request timeout");
    } else {
        if (is_delivery_watched_) watch_delivery(now);
        const int64_t last_progress_us = std::max({idle_since_us_, conn->last_sent_us(), last_taken_us_});
        // What the system still holds for the peer shows its progress only when its window opens,
        // which for a slow reader is many short keep-alives apart.
        const bool is_in_flight = is_delivery_watched_;
        const uint32_t limit_s = is_in_flight ? std::max(IPCServer::kDeliveryTimeoutS, keep_alive_s) : keep_alive_s;
        if (now - last_progress_us > int64_t{limit_s} * 1000000) {
            conn->set_error(is_in_flight ? "delivery timeout" : "keep-alive timeout");
        }
    }
}

void IPCProtocolHTTPServer::watch_delivery(int64_t now) {
    const long unacknowledged = conn->unacknowledged_bytes();
    // The peer's system has taken all we wrote: nothing more of it can show progress, so an idle
    // connection costs no system call until the next answer.
    if (unacknowledged <= 0 && conn->send_buffer().empty()) is_delivery_watched_ = false;
    if (unacknowledged == unacknowledged_at_tick_) return;
    unacknowledged_at_tick_ = unacknowledged;
    last_taken_us_ = now;
}
