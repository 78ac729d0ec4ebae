#include "ipc/protocols/ipc_protocol_xhr_server.h"

#include <algorithm>
#include <utility>

#include "ipc/base/ipc_string.h"
#include "ipc/base/logger.h"
#include "ipc/http/http_file_server.h"
#include "ipc/http/url_parts.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_server.h"
#include "ipc/net/ipc_server.h"
#include "ipc/protocols/ipc_session_gate.h"

namespace {

const char kDebugPrefix[] = "/debug";

}  // namespace

void IPCProtocolXHRServer::handle_request(const http_request& request) {
    std::string path = request.to_url("http").path;
    is_debug_page_ = path.compare(0, 6, kDebugPrefix) == 0;
    if (is_debug_page_) path.erase(0, 6);
    MessageAttributes fields;
    read_query(request, fields);
    const std::string session_id = fields.get_string("s", "");

    Message message;
    if (read_message(request, path, fields, message)) {
        authenticate(message, session_id, request);
    } else if (request.header_count("upgrade") != 0) {
        const bool is_websocket = ipc_equal_ignoring_case(request.header("upgrade"), "websocket");
        set_status(501, is_websocket ? "WebSockets not supported" : "Requested protocol not supported");
    } else {
        serve_static(request, path, session_id);
    }
}

bool IPCProtocolXHRServer::read_message(const http_request& request, const std::string& path,
                                        const MessageAttributes& fields, Message& message) {
    if (request.method() == "POST" && request.is_multipart()) {
        message = upload_message(request, path);
    } else if (fields.has("c")) {
        last_command_ = fields.get_string("c", "");
        message.parse_from_peer(last_command_);
    } else if (fields.has("cmd")) {
        message.set_name(fields.get_string("cmd", ""));
        for (const auto& field : fields) {
            if (field.first != "s" && field.first != "cmd")
                message.attributes().set(field.first, field.second.to_string());
        }
    } else {
        return false;
    }
    return true;
}

Message IPCProtocolXHRServer::upload_message(const http_request& request, const std::string& path) {
    Message post;
    post.set_name("post");
    post.attributes().set("path", path);
    for (const http_message& part : request.parse_multipart()) {
        Message& field = post.add_child("formdata");
        field.attributes().set("Content-Disposition", part.header("content-disposition"));
        field.attributes().set("Content-Type", part.header("content-type"));
        field.value().set(part.body());
    }
    return post;
}

IPCEndpointServer* IPCProtocolXHRServer::open_session(const http_request& request, const std::string& session_id,
                                                      bool is_download) {
    IPCEndpointServer* endpoint = IPCSessionGate::open(*conn, request, session_id, is_download, response_);
    if (endpoint) return endpoint;
    if (response_.status() == 0) refuse_session();
    // A browser must see the real refusal, not a page that wraps it.
    is_debug_page_ = false;
    return nullptr;
}

void IPCProtocolXHRServer::authenticate(const Message& message, const std::string& session_id,
                                        const http_request& request) {
    IPCEndpointServer* endpoint = open_session(request, session_id, false);
    if (!endpoint) return;
    Message reply;
    if (message.name() == "poll") {
        build_poll_response(*endpoint, reply);
    } else {
        reply.set_name("resp");
        if (!dispatch(message, reply)) return;
    }
    if (message.attributes().has("seq")) reply.attributes().set("seq", message.attributes().get_string("seq", ""));
    write_reply(reply);
}

void IPCProtocolXHRServer::build_poll_response(IPCEndpointServer& endpoint, Message& out) {
    out.set_name("poll");
    Message held;
    while (endpoint.pop_pending(held)) out.add_child_copy(held);
}

void IPCProtocolXHRServer::serve_static(const http_request& request, const std::string& path,
                                        const std::string& session_id) {
    IPCServer* server = conn->server();
    if (!server || server->file_root().empty()) {
        set_status(404, "Missing Command");
        return;
    }
    const std::string relative = ipc_normalize_path(path);
    if (relative == "robots.txt") {
        response_.set_body("User-agent: *\nDisallow: /\n");
        set_status(200, "OK");
        return;
    }
    if (relative.compare(0, 2, "dl") == 0) {
        if (!open_session(request, session_id, true)) return;
        conn->set_send_limit(std::max(conn->send_limit(), kDownloadSendLimit));
    }
    http_file_server(server->real_file_root(), conn->send_limit(), is_debug_page_)
        .serve(request, relative, path, is_debug_page_ ? kDebugPrefix : "", response_);
}

void IPCProtocolXHRServer::write_reply(const Message& reply) {
    std::string text;
    reply.serialize(Message::XML, text, is_debug_page_);
    ipc_strip_xml_declaration(text);
    response_.set_body(std::move(text));
    response_.replace_header("Content-Type", "application/xml");
    set_status(200, "OK");
}

void IPCProtocolXHRServer::upgrade_to_websocket() {
    ipc_logger().log(3, "invoked unusable upgrade_to_websocket (libipc built without openssl)");
}

void IPCProtocolXHRServer::finish_response() {
    // A redirect wrapped in a page would no longer take the browser anywhere.
    if (!is_debug_page_ || response_.header_count("location") != 0) return;
    std::string page = "<html><body><form>Command: <input size=\"100\" type=\"text\" name=\"c\" value=\"" +
                       ipc_escape(last_command_) + "\"></form>Response: " + ipc_uint_to_string(response_.status()) +
                       " " + ipc_escape(response_.reason()) + "<pre>" + ipc_escape(response_.body()) +
                       "</pre></body></html>";
    response_.set_body(std::move(page));
    response_.remove_header("Content-Encoding");
    response_.replace_header("Content-Type", "text/html");
    response_.add_header("Cache-Control", "no-cache");
    set_status(200, "OK");
}
