#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class IPCConn;
class IPCEndpointServer;
class http_request;
class http_response;

// The gate of the xhr server's message requests and protected downloads: it finds the request's
// session (a server endpoint of the accepting server) and checks the request's HTTP Digest
// "Authorization" (RFC 2617, quality of protection "auth", realm "Quelda IPC") against the
// session's accounts. Peers on the IPv4 loopback network pass without one.
//
// A script names its session in the query ("s", made under exactly that id when new) and answers
// under the scheme "Quelda"; a browser keeps its session in the cookie "s", set with the first
// challenge, and answers under "Digest", as every protected download does.
//
// The answer is checked before anything is remembered. Only a passing request touches its session,
// binds it to its connection and records the nonce count, which must grow for each issued nonce,
// so a replayed header is refused. A refused request gets a fresh challenge and changes nothing
// else; the challenge says "stale" when only the nonce was at fault (not ours, older than
// kNonceLifetimeS, or a count already used).
class IPCSessionGate {
public:
    static constexpr uint32_t kNonceLifetimeS = 300;
    static constexpr size_t kMaxSessionIdBytes = 64;
    enum class Check { kAccepted, kRefused, kStale };

    // The checked session of the request on `connection`, or null with the answer in `response`:
    // 401 with a challenge, 400 for a session id that is too long or holds control bytes; or null
    // with no status when no session could be had (a full server), for the caller to refuse.
    static IPCEndpointServer* open(IPCConn& connection, const http_request& request, const std::string& session_id,
                                   bool is_download, http_response& response);
    static Check check_digest(IPCEndpointServer& endpoint, const IPCConn& connection, const http_request& request,
                              const std::string& scheme);
    // The "WWW-Authenticate" value.
    static std::string challenge(const std::string& scheme, const std::string& nonce, bool is_stale);

private:
    // The session named by the query, or by the cookie (a new one, with its cookie, when unknown);
    // null when none could be had.
    static IPCEndpointServer* find_session(IPCConn& connection, const http_request& request,
                                           const std::string& session_id, http_response& response);
};
