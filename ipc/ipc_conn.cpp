#include "ipc/ipc_conn.h"

#include "ipc/ipc_clock.h"
#include "ipc/ipc_conn_stream.h"
#include "ipc/ipc_endpoint_client.h"
#include "ipc/ipc_endpoint_server.h"
#include "ipc/ipc_protocol.h"
#include "ipc/ipc_server.h"
#include "ipc/message.h"
#include "ipc/logger.h"
#include "ipc/socket_callback.h"

IPCConn* IPCConn::create(SocketCallback* owner, const std::string& transport, int option) {
    if (transport == "stream") return new IPCConnStream(owner, option);
    return nullptr;
}

IPCConn::IPCConn(SocketCallback* owner, int option) : IPCSocket(owner), option_(option) {}

IPCConn::~IPCConn() {
    if (IPCEndpointClient* endpoint = endpoint_client_) {
        endpoint_client_ = nullptr;
        endpoint->detach_connection(this);
    }
    if (IPCEndpointServer* endpoint = endpoint_server_) {
        endpoint_server_ = nullptr;
        endpoint->detach_connection(this);
    }
    close();
    delete protocol_;
}

IPCEndpointServer* IPCConn::find_or_create_endpoint_server() {
    if (!endpoint_server_ && server_) server_->create_endpoint(this);
    return endpoint_server_;
}

void IPCConn::set_endpoint_server(IPCEndpointServer* endpoint) {
    IPCEndpointServer* previous = endpoint_server_;
    endpoint_server_ = endpoint;
    if (previous && previous != endpoint) previous->detach_connection(this);
}

void IPCConn::clear_endpoints() {
    endpoint_client_ = nullptr;
    endpoint_server_ = nullptr;
}

bool IPCConn::wants_write() const {
    return state_ == CONNECTED && !send_buffer_.empty();
}

void IPCConn::close() {
    IPCSocket::close();
    if (protocol_) protocol_->reset();
    // A session protocol (HTTP) keeps its server endpoint beyond the TCP connection.
    if (endpoint_server_ && (!protocol_ || protocol_->is_connection_bound())) endpoint_server_->mark_closed();
    send_buffer_.clear();
    if (state_ != CLOSED) {
        state_ = CLOSED;
        notify_state();
    }
}

void IPCConn::send_data(const std::string& bytes) {
    send_buffer_ += bytes;
    on_writable(true);
    if (send_buffer_.size() > send_limit_) {
        set_error("IPCConn::send_data buffer overflow");
    } else if (!send_buffer_.empty() && owner_) {
        // The socket took only part of it: the loop must wait for writability, and a sender on
        // another thread must not leave the bytes waiting for an unrelated event.
        owner_->wake();
    }
}

bool IPCConn::send(const Message& message) {
    if (!protocol_) return true;
    return protocol_->transmit_message(message) != 0;
}

void IPCConn::rx_message(const Message& message) {
    if (endpoint_client_) endpoint_client_->receive(message);
}

bool IPCConn::handle_request(const Message& request, Message& reply) {
    if (endpoint_server_) return endpoint_server_->handle_request(request, reply);
    IPCEndpoint::set_error(reply, 500, "Internal Server Error");
    return true;
}

void IPCConn::on_data(const std::string& bytes) {
    stamp_received();
    if (!protocol_ && server_ && !bytes.empty()) choose_server_protocol(bytes[0]);
    if (!protocol_) return;
    protocol_->receive_data(bytes);
    if (!pending_protocol_.empty()) change_protocol();
}

bool IPCConn::has_pending_input() const {
    return !read_hold_ && protocol_ && protocol_->has_pending_input();
}

void IPCConn::resume_input() {
    if (!protocol_) return;
    protocol_->resume_input();
    if (!pending_protocol_.empty()) change_protocol();
}

void IPCConn::set_protocol(IPCProtocol* protocol) {
    if (protocol == protocol_) return;
    delete protocol_;
    protocol_ = protocol;
}

void IPCConn::set_client_protocol(const std::string& name) {
    set_protocol(IPCProtocol::create_client(name, this));
}

void IPCConn::set_server_protocol(const std::string& name) {
    set_protocol(server_ ? server_->create_protocol(name, this) : IPCProtocol::create_server(name, this));
}

void IPCConn::choose_server_protocol(char first_byte) {
    // Anything but the two framed protocols' first bytes is taken for the letters of a request line.
    const char* name = first_byte == '\xFF' ? "compact" : first_byte == '<' ? "xmls" : "xhr";
    set_server_protocol(name);
    if (!protocol_) set_error(std::string("no server protocol '") + name + "'");
}

void IPCConn::change_protocol() {
    if (endpoint_client_) {
        set_protocol(IPCProtocol::create_client(pending_protocol_, this));
        endpoint_client_->on_protocol_changed(pending_protocol_);
    } else if (server_) {
        set_server_protocol(pending_protocol_);
    } else {
        ipc_logger().log(3, "changing IPCConn protocol to '%s' failed: no m_ep_c or m_serv",
                         pending_protocol_.c_str());
    }
    if (protocol_) protocol_->on_state();
    pending_protocol_.clear();
}

void IPCConn::set_state(int state) {
    if (state == state_) return;
    state_ = state;
    notify_state();
}

void IPCConn::notify_state() {
    if (protocol_) protocol_->on_state();
    if (endpoint_client_) endpoint_client_->on_connection_state();
    if (endpoint_server_) endpoint_server_->on_connection_state();
}
