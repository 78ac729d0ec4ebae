#include "ipc/net/ipc_conn.h"

#include <algorithm>
#include <utility>

#include "ipc/base/ipc_clock.h"
#include "ipc/base/ipc_string.h"
#include "ipc/base/logger.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_dropped_frame.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/net/ipc_endpoint_server.h"
#include "ipc/net/ipc_protocol.h"
#include "ipc/net/ipc_server.h"
#include "ipc/net/socket_callback.h"

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
    return state_ == CONNECTED && !is_aborted_ && send_offset_ < send_buffer_.size();
}

std::string_view IPCConn::send_buffer() const {
    return std::string_view(send_buffer_).substr(send_offset_);
}

size_t IPCConn::bytes_held() const {
    return send_buffer_.capacity() + input_.capacity() + (protocol_ ? protocol_->bytes_held() : 0);
}

void IPCConn::consume_sent(size_t sent) {
    last_sent_us_ = ipc_now_us();
    send_offset_ += sent;
    if (send_offset_ < send_buffer_.size()) return;
    ipc_clear_buffer(send_buffer_, kKeptSendBytes);
    send_offset_ = 0;
    if (protocol_) protocol_->on_drained();
}

void IPCConn::close() {
    IPCSocket::close();
    input_.clear();
    forget_partial_frame();
    ++close_count_;
    if (protocol_) protocol_->reset();
    // A session protocol (HTTP) keeps its server endpoint beyond the TCP connection.
    if (endpoint_server_ && (!protocol_ || protocol_->is_connection_bound())) endpoint_server_->mark_closed();
    ipc_clear_buffer(send_buffer_, kKeptSendBytes);
    send_offset_ = 0;
    if (state_ != CLOSED) {
        state_ = CLOSED;
        notify_state();
    }
}

void IPCConn::send_data(const std::string& bytes) {
    // What a slow peer has taken is dropped before the buffer grows further.
    if (send_offset_ > 0 && send_offset_ >= send_buffer_.size() / 2) {
        send_buffer_.erase(0, send_offset_);
        send_offset_ = 0;
    }
    send_buffer_ += bytes;
    write_queued();
}

void IPCConn::send_data(std::string&& bytes) {
    if (send_offset_ < send_buffer_.size()) {
        send_data(static_cast<const std::string&>(bytes));
        return;
    }
    send_buffer_ = std::move(bytes);
    send_offset_ = 0;
    write_queued();
}

void IPCConn::write_queued() {
    on_writable(true);
    const size_t unsent = send_buffer_.size() - send_offset_;
    if (unsent > send_limit_) {
        set_error("IPCConn::send_data buffer overflow");
    } else if (unsent > 0 && owner_) {
        // The socket took only part of it: the loop must wait for writability, and a sender on
        // another thread must not leave the bytes waiting for an unrelated event.
        watch_changed();
        owner_->wake();
    }
}

bool IPCConn::send(const Message& message) {
    if (!protocol_) return true;
    return protocol_->transmit_message(message) != 0;
}

void IPCConn::rx_message(Message&& message) {
    if (endpoint_client_) endpoint_client_->receive(std::move(message));
}

void IPCConn::rx_message(const Message& message) {
    if (endpoint_client_) endpoint_client_->receive(message);
}

bool IPCConn::handle_request(const Message& request, Message& reply) {
    if (endpoint_server_) return endpoint_server_->handle_request(request, reply);
    IPCEndpoint::set_error(reply, 500, "Internal Server Error");
    return true;
}

void IPCConn::report_dropped_frame(const IPCDroppedFrame& frame) {
    ipc_logger().log(5, "%s: %s; it began \"%s\"", address().to_string().c_str(), frame.reason().c_str(),
                     frame.head.c_str());
    if (endpoint_client_) endpoint_client_->on_frame_dropped(frame);
}

void IPCConn::report_latin1_text() {
    if (endpoint_client_) endpoint_client_->on_latin1_text();
}

void IPCConn::on_data(std::string_view bytes) {
    stamp_received();
    if (!protocol_ && server_ && !bytes.empty()) choose_server_protocol(bytes[0]);
    if (!protocol_) return;
    const uint64_t closes_before = close_count_;
    size_t taken;
    if (input_.empty()) {
        taken = deliver(bytes.data(), bytes.size(), false);
    } else {
        input_.append(bytes);
        taken = deliver(input_.data(), input_.size(), true);
    }
    if (close_count_ == closes_before) note_partial_frame(last_received_us(), bytes.size(), taken);
    if (!pending_protocol_.empty()) change_protocol();
}

void IPCConn::note_partial_frame(int64_t now_us, size_t length, size_t taken) {
    if (frame_started_us_ != 0 && taken == 0) {
        // The same frame goes on: its bytes excuse the time since it began, at the floor's pace.
        frame_bytes_ += length;
        const int64_t reach_us = static_cast<int64_t>(frame_bytes_) * 1000000 / kSlowestFrameBytesPerS;
        const int64_t excused_us = std::min(now_us - frame_started_us_, reach_us);
        arriving_frames_us_ += excused_us - frame_excused_us_;
        frame_excused_us_ = excused_us;
        return;
    }
    // A frame came whole, or one began: the link is alive. What the protocol keeps is the start of
    // the next frame (a frame past the receive limit is not kept: its end can hold no answer).
    forget_partial_frame();
    last_live_us_ = now_us;
    if (input_.empty() || read_hold_) return;
    frame_started_us_ = now_us;
    frame_bytes_ = input_.size();
}

void IPCConn::forget_partial_frame() {
    frame_started_us_ = 0;
    frame_bytes_ = 0;
    frame_excused_us_ = 0;
}

size_t IPCConn::deliver(const char* data, size_t length, bool is_kept) {
    const uint64_t closes_before = close_count_;
    const size_t taken = protocol_->receive_data(data, length);
    // A handler that closed the connection dropped the input with it.
    if (close_count_ != closes_before) return taken;
    if (is_kept) {
        input_.erase(0, taken);
    } else if (taken < length) {
        input_.assign(data + taken, length - taken);
    }
    return taken;
}

bool IPCConn::has_pending_input() const {
    return !read_hold_ && protocol_ && !input_.empty() && protocol_->has_pending_input();
}

void IPCConn::resume_input() {
    if (!protocol_ || input_.empty()) return;
    deliver(input_.data(), input_.size(), true);
    if (!pending_protocol_.empty()) change_protocol();
}

void IPCConn::set_protocol(IPCProtocol* protocol) {
    if (protocol == protocol_) return;
    delete protocol_;
    protocol_ = protocol;
    // What is kept was framed by the protocol that left it.
    input_.clear();
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
        ipc_logger().log(3, "changing IPCConn protocol to '%s' failed: no m_ep_c or m_serv", pending_protocol_.c_str());
    }
    if (protocol_) protocol_->on_state();
    pending_protocol_.clear();
}

void IPCConn::set_state(int state) {
    if (state == state_) return;
    state_ = state;
    watch_changed();
    notify_state();
}

void IPCConn::notify_state() {
    if (protocol_) protocol_->on_state();
    if (endpoint_client_) endpoint_client_->on_connection_state();
    if (endpoint_server_) endpoint_server_->on_connection_state();
}
