#pragma once

#include <optional>
#include <string>

#include "ipc/net/ipc_endpoint_server.h"

struct SimulatedCodec;

// The server side of one peer of a simulated codec. Requests go to the codec's model; the model's
// pushes follow the reply, to this peer and to every other admitted peer of the same codec. The
// login is asked of every peer (127.0.0.1 included) unless the fleet runs without login, any user
// name is accepted with the fleet's password, and in refuse mode no login succeeds.
//
// An unversioned (legacy) peer subscribes nothing: its "monitor" request switches the level,
// peer and channel reports on and off instead, and its levels go out as a bare "levels" frame.
//
// Threads: lives on the fleet's loop thread, owned by its codec's IPC server. Registers itself in
// its codec's endpoint list for its whole life.
class CodecEndpoint : public IPCEndpointServer {
public:
    // Frames sent at once after login may exceed the library's send limit (the oversized hostile
    // frame alone does); this is the limit while they go out.
    static constexpr uint32_t kHostileSendLimit = 16 * 1024 * 1024;
    static constexpr int kFloodReports = 5000;
    // The error code of a request the fleet was told to refuse (CodecSimOptions::refused_requests).
    static constexpr int kRefusedCode = 409;

    explicit CodecEndpoint(SimulatedCodec& codec);
    ~CodecEndpoint() override;

    bool needs_auth_from(const IPCAddress& peer) const override;
    bool lookup_account(const std::string& user, std::string& password, std::string& role) const override;
    bool handle_command(const Message& request, Message& reply) override;
    // Sends a report that the codec publishes under the subscription `name`, when this peer's
    // interval lets it (is_due), and counts it. A payload goes wrapped as <unso id="name">, a
    // legacy peer's levels as a bare "levels" frame; any other report is a whole frame already.
    void publish(const Message& report, const std::string& name, bool is_payload);

    // Called by the codec's protocol right after the reply that let this peer in (the login
    // success, or the greeting when no login is asked): sends "systemOpts", then any hostile
    // frames. Never earlier, or the program would not count "systemOpts" as received.
    void on_admitted();
    // Called by the codec's protocol before it answers a "ping" of an admitted peer: with
    // HostileKind::kSwallowedPings, sends what makes every other answer go down with a bad frame.
    void before_ping_answer();

    // Sends the pushes of `codec`'s model (CodecModel::take_pushes) to each of its admitted peers.
    static void send_pushes(SimulatedCodec& codec);

    // Logged in, or no login needed: unsolicited messages reach the peer.
    bool is_admitted() const { return !needs_auth() || is_authenticated(); }
    bool holds(const std::string& subscription) const { return subscriptions_.count(subscription) != 0; }
    // The peer speaks the unversioned dialect on this connection.
    bool is_legacy_peer() const;

private:
    void follow_legacy_monitor(const Message& request);
    // Whether the codec refuses this request now (CodecSimOptions::refused_requests), counting
    // the refusal.
    bool is_refused(const std::string& name);
    void send_hostile_frames();
    // For the requests whose answers go in swapped pairs: holds back `reply` (sending nothing
    // now), or sends it and then the one held.
    void swap_answer(Message& reply);
    // A success the fleet was told to leave unanswered (CodecSimOptions::unanswered_successes).
    bool is_unanswered_success(const Message& request, const Message& reply) const;

    SimulatedCodec& codec_;               // not owned; outlives the endpoint
    std::optional<Message> held_answer_;  // the first answer of a swapped pair, until the second
    uint64_t pings_answered_ = 0;         // since admitted (before_ping_answer)
};
