#pragma once

#include <string>

#include "ipc/protocols/ipc_protocol_http_server.h"

class IPCEndpointServer;
class MessageAttributes;

// The HTTP face of a listening server, for web pages and scripts. A request carries at most one
// Message: as XML in the query field "c", as a name in "cmd" with the other fields (but "s") as
// attributes, or as a multipart/form-data POST ("post" with one "formdata" child per part). Such a
// request passes the session gate (IPCSessionGate) and goes to its session endpoint, whose reply is
// the XML body of the response; "poll" collects the messages the endpoint held meanwhile.
// A path that begins with "/debug" wraps every answer but a redirect in an HTML page with a command
// form. Other requests are served as files below the server's file root (paths that begin "dl"
// only past the gate); upgrades to WebSockets are refused. Sessions outlive their connections.
class IPCProtocolXHRServer : public IPCProtocolHTTPServer {
public:
    // A protected download may be this large (the connection's send limit is raised for it).
    static constexpr uint32_t kDownloadSendLimit = 7340032;

    using IPCProtocolHTTPServer::IPCProtocolHTTPServer;

    // WebSockets need the TLS library, which this build lacks: only logs a warning.
    void upgrade_to_websocket();

protected:
    void handle_request(const http_request& request) override;
    void write_reply(const Message& reply) override;
    void finish_response() override;

private:
    // The request's Message; false when it carries none.
    bool read_message(const http_request& request, const std::string& path, const MessageAttributes& fields,
                      Message& message);
    void authenticate(const Message& message, const std::string& session_id, const http_request& request);
    // The gate's session, or null with its answer set (the debug page is dropped for it).
    IPCEndpointServer* open_session(const http_request& request, const std::string& session_id, bool is_download);
    void serve_static(const http_request& request, const std::string& path, const std::string& session_id);
    static Message upload_message(const http_request& request, const std::string& path);
    static void build_poll_response(IPCEndpointServer& endpoint, Message& out);

    bool is_debug_page_ = false;
    std::string last_command_;  // the latest "c" field on this connection, shown on the debug page
};
