#include "ipc/protocols/ipc_protocol_http_client.h"

#include <exception>

#include "ipc/base/logger.h"
#include "ipc/http/http_request.h"
#include "ipc/net/ipc_conn.h"

IPCProtocolHTTPClient::IPCProtocolHTTPClient(IPCConn* connection) : IPCProtocol(connection), response_("\r\n") {
    response_.set_unknown_length(http_message::UnknownLength::kUntilClose);
}

std::string IPCProtocolHTTPClient::print_request(http_request& request) const {
    if (request.header_count("host") == 0) request.add_header("Host", conn->address().to_string());
    return request.serialize();
}

void IPCProtocolHTTPClient::reset() {
    if (response_.awaits_close()) {
        response_.finish_at_close();
        const http_response done = response_;
        response_.reset();
        // The connection is going: what the endpoint sends meanwhile stays in its queue.
        is_closing_ = true;
        try {
            receive_response(done);
        } catch (const std::exception& e) {
            ipc_logger().log(3, "response from %s ended by the close not delivered: %s",
                             conn->address().to_string().c_str(), e.what());
        }
        is_closing_ = false;
    }
    response_.reset();
}

size_t IPCProtocolHTTPClient::receive_data(const char* data, size_t length) {
    response_.set_body_limit(conn->receive_limit());
    size_t position = 0;
    while (position < length) {
        try {
            position += response_.parse(data + position, static_cast<uint32_t>(length - position));
        } catch (const std::exception& e) {
            // The rest of the stream cannot be framed: the connection goes, with the parser's reason.
            response_.reset();
            conn->set_error(e.what());
            return length;
        }
        if (response_.is_complete() && !finish_response()) return length;
    }
    return length;
}

bool IPCProtocolHTTPClient::finish_response() {
    const http_response done = response_;
    response_.reset();
    if (done.status() >= 100 && done.status() < 200) return true;
    on_response_done();
    const bool is_last = done.has_token("connection", "close") || done.has_length_conflict();
    // A request the endpoint sends while it takes the last response would go out on a connection
    // that is about to close: it stays in the endpoint's queue for the next one.
    is_closing_ = is_last;
    deliver(done);
    is_closing_ = false;
    if (!is_last) return true;
    conn->close();
    return false;
}

void IPCProtocolHTTPClient::deliver(const http_response& done) {
    try {
        receive_response(done);
    } catch (const std::exception& e) {
        conn->set_error(e.what());
    }
}
