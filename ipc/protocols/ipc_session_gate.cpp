#include "ipc/protocols/ipc_session_gate.h"

#include "ipc/base/ipc_string.h"
#include "ipc/http/http_digest_header.h"
#include "ipc/http/http_request.h"
#include "ipc/http/http_response.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_endpoint_server.h"
#include "ipc/net/ipc_server.h"

namespace {

const char kRealm[] = "Quelda IPC";

bool is_usable_session_id(const std::string& id) {
    if (id.size() > IPCSessionGate::kMaxSessionIdBytes) return false;
    for (const char c : id) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace

IPCEndpointServer* IPCSessionGate::open(IPCConn& connection, const http_request& request, const std::string& session_id,
                                        bool is_download, http_response& response) {
    if (!is_usable_session_id(session_id)) {
        response.set_status(400, "Bad Request");
        return nullptr;
    }
    IPCEndpointServer* endpoint = find_session(connection, request, session_id, response);
    if (!endpoint) return nullptr;
    const std::string scheme = session_id.empty() || is_download ? "Digest" : "Quelda";
    const Check result = check_digest(*endpoint, connection, request, scheme);
    if (result != Check::kAccepted) {
        response.add_header("WWW-Authenticate", challenge(scheme, endpoint->new_nonce(false), result == Check::kStale));
        response.set_status(401, "Unauthorized");
        return nullptr;
    }
    endpoint->touch();
    endpoint->set_conn(&connection);
    return endpoint;
}

IPCEndpointServer* IPCSessionGate::find_session(IPCConn& connection, const http_request& request,
                                                const std::string& session_id, http_response& response) {
    IPCServer* server = connection.server();
    if (!server) return nullptr;
    if (!session_id.empty()) return server->get_endpoint(session_id, true);
    const std::string cookie = request.cookie("s");
    if (IPCEndpointServer* known = cookie.empty() ? nullptr : server->get_endpoint(cookie, false)) return known;
    const std::string id = server->create_endpoint(nullptr);
    if (id.empty()) return nullptr;
    response.add_cookie("s", id);
    return server->get_endpoint(id, false);
}

IPCSessionGate::Check IPCSessionGate::check_digest(IPCEndpointServer& endpoint, const IPCConn& connection,
                                                   const http_request& request, const std::string& scheme) {
    if (!endpoint.needs_auth_from(connection.address())) {
        endpoint.set_login(true, "", "");
        return Check::kAccepted;
    }
    http_digest_header header;
    if (request.header_count("authorization") == 0 || !header.parse(request.header("authorization")) ||
        !header.has_scheme(scheme) || header.parameter("realm") != kRealm || header.parameter("qop") != "auth" ||
        header.parameter("uri") != request.uri()) {
        return Check::kRefused;
    }
    std::string password;
    std::string role;
    const std::string& user = header.parameter("username");
    if (!endpoint.lookup_account(user, password, role) ||
        !ipc_equal_in_constant_time(header.expected_response(request.method(), password),
                                    header.parameter("response"))) {
        return Check::kRefused;
    }
    const std::string& nonce = header.parameter("nonce");
    if (!endpoint.is_nonce_fresh(nonce, kNonceLifetimeS) || !endpoint.raise_nonce_count(nonce, header.nonce_count())) {
        return Check::kStale;
    }
    endpoint.set_login(true, user, role);
    return Check::kAccepted;
}

std::string IPCSessionGate::challenge(const std::string& scheme, const std::string& nonce, bool is_stale) {
    return scheme + " qop=\"auth\", realm=\"" + kRealm + "\", nonce=\"" + nonce + "\"" +
           (is_stale ? ", stale=\"TRUE\"" : "");
}
