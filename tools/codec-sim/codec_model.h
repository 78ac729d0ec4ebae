#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ipc/message/message.h"
#include "tools/codec-sim/codec_event_log.h"

// The state and behaviour of one simulated audio codec, as the management program sees it through
// its requests, replies and reports. Pure logic over Message trees: no sockets, no clock, no
// randomness of its own. Everything is seeded from the codec index, and every time-dependent value
// (levels, statistics, call times, event-log stamps) is a function of the `now_us` the caller
// passes, so two models of the same index given the same calls produce the same bytes.
//
// The caller is the server endpoint of one simulated codec. It owns the greeting, login,
// "ping", "subscribe" and "unsubscribe" (none of those reach this class), and after login:
//   - sends system_options_push() once, right after the login-success reply has gone out;
//   - passes every other request to handle_request(), sends the reply (or the 404 "Unknown
//     Command" reply when it returns false), then sends each of take_pushes() as it is;
//   - publishes report() for each subscription the peer holds, every `publish_ms` of the table.
//
// Time: `now_us` is any microsecond line that only moves forward (the library's ipc_now_us()
// will do). Event-log stamps show calendar_origin_s + now_us / 1000000 as UTC.
//
// Threads: none of its own; one thread at a time (the simulated codec's server loop thread).
//
// Its members are defined in a file per concern: codec_model.cpp (the seeded state and its
// lookups), codec_model_replies.cpp (handle_request, the replies' content and the pushes),
// codec_model_calls.cpp (peers and calls), codec_model_settings.cpp (profiles and settings),
// codec_model_reports.cpp and codec_model_event_log.cpp.
class CodecModel {
public:
    struct Subscription {
        const char* name;      // the "sub" "id" the program subscribes with
        unsigned interval_ms;  // the interval the program asks for; 0 = every publish is due
        int publish_ms;        // how often codec-sim publishes it; 0 = never on a timer
        // true: report() returns the payload element, which the server's notify wraps as
        // <unso id="name"><payload/></unso>. false: report() returns a complete frame to send as it
        // is, and only while the peer holds this subscription (see "cfgData:netmgr.tunnel.*").
        bool is_payload;
    };

    // Mon, 7 Dec 2020 04:30:00 +0000.
    static constexpr int64_t kDefaultCalendarOrigin = 1607315400;
    // The event log's bound in bytes, and what each entry counts besides its text (see
    // CodecEventLog).
    static constexpr size_t kMaxEventLogBytes = CodecEventLog::kMaxBytes;
    static constexpr size_t kEventLogEntryBytes = CodecEventLog::kEntryBytes;
    // Longest text (names, addresses, passwords, option values) a request may store.
    static constexpr size_t kMaxTextLength = 256;
    // A large broadcaster's address book runs to several hundred peers.
    static constexpr size_t kMaxPeers = 1024;
    static constexpr size_t kMaxProfiles = 64;

    static constexpr int kMaxChannels = 16;

    // With `has_accented_names` the codec's own name and its peers' names carry accents, as an
    // operator types them on a panel ("Köln Südwest"), each one a Latin-1 character.
    // `channel_count`: its channels, 1 to kMaxChannels; 0 gives codec i 1 + i % 2. Codec i starts
    // with i % (channels + 1) calls up.
    explicit CodecModel(int index, int64_t calendar_origin_s = kDefaultCalendarOrigin, bool has_accented_names = false,
                        int channel_count = 0);

    int index() const { return index_; }
    // From now on "sysOptions" lacks the "audio" element that "systemOpts" names, and the tunnel
    // settings' "node" has no "group". The codec's own settings stay whole.
    void set_malformed_settings(bool is_malformed) { is_settings_malformed_ = is_malformed; }
    // From now on "addProfile" is answered with the id of the newest profile, and makes none, as a
    // faulty firmware may.
    void set_reusing_profile_ids(bool is_reusing) { is_reusing_profile_ids_ = is_reusing; }
    // From now on "addPeer" gives the new peer the lowest id no peer holds, as codecs that number
    // their address book by slot do: a peer added after a removal takes the removed one's id.
    void set_reusing_peer_ids(bool is_reusing) { is_reusing_peer_ids_ = is_reusing; }
    // Adds idle peers until the peer list holds `count` (at most kMaxPeers), named and addressed
    // as the seeded ones but each its own (on ports of their own), as in a large broadcaster's address book. Pushes
    // nothing: meant for before any peer logs in.
    void fill_address_book(size_t count);
    // From now on a far end answers a connect this long after it: until then the connect rings on
    // a channel it holds, and the peer shows no call; a disconnect of the peer, or of all, stops it.
    // Another connect of a ringing peer is refused when no other channel is free, as a one-channel
    // codec busy with that very dial does, and otherwise changes nothing. 0: at once.
    void set_answer_after_us(int64_t delay_us) { answer_after_us_ = delay_us; }
    // From now on another connect of a ringing peer starts its ring again, from that connect, as
    // codecs that dial anew on each connect do: a far end slower than the connects never answers.
    void set_ringing_anew(bool is_anew) { is_ringing_anew_ = is_anew; }
    // From now on, this long after a disconnect of a peer stopped its ringing connect, someone at
    // the codec's panel calls that peer, as a connect would (place_panel_calls). 0: never.
    void set_panel_call_after_stop_us(int64_t delay_us) { panel_call_after_stop_us_ = delay_us; }
    // Makes the panel calls due by `now_us`. True when any came up at once: the peer list is
    // pushed (take_pushes).
    bool place_panel_calls(int64_t now_us);
    // The connects whose far end has answered by `now_us` come up on the channel they rang on.
    // True when any came up: the peer list is pushed (take_pushes).
    bool answer_ringing(int64_t now_us);
    std::string unit_name() const;

    // Answers one request. `reply` arrives named "resp" with the request's "seq"; this fills in
    // attributes and children, or "fail", "error_code" and "error_text" when the request is refused
    // (a refused request changes nothing). Returns false only for a command this codec does not
    // know. A request without "seq" is answered too, but never with children: the program would
    // file such a reply under its first child's name.
    //
    // One reply needs element text, which the library's XML writer does not write: the reply to
    // "getEventLog" holds one "e" child per entry, its text as the node value. On a versioned
    // connection send that reply as frame_with_text(reply) and let the protocol send nothing (see
    // there). A legacy (version 0) peer never reads the event log, so its reply may go out as usual.
    bool handle_request(const Message& request, int64_t now_us, Message& reply);

    // Unsolicited messages the codec sends after the last request, in their final wire shape:
    // <unso id="unso"><NAME>…</NAME></unso> for "profileList", "channelList", "directoryServer",
    // "sysOptions" and "peerList", in that order (a peer list may name a new profile), at most one
    // of each, each holding the same content as the fetch reply. Empties the list. Send them with
    // the endpoint's send_unso after the reply, never through notify.
    std::vector<Message> take_pushes();

    // A codec whose texts know no bound: it takes a unit name and renames its first peer (the one
    // a codec in a call is connected to) to texts of `length` characters, and logs an event of that
    // length. Each text is new (it starts with `now_us`) and has no blank to break a line at. The
    // unit name and the peer list are pushed (take_pushes).
    void lengthen_texts(int64_t now_us, size_t length);
    // A chatty codec: logs `count` short events, each of its own.
    void log_burst(int64_t now_us, int count);

    // <unso id="unso"><systemOpts><option …/>…</systemOpts></unso>: the option descriptors of the
    // settings page. The program files it only when it arrives after the login-success reply.
    Message system_options_push() const;

    // The report published under a subscription name at `now_us`. For the names whose table entry
    // has `is_payload`, `out` is the payload that the server's notify wraps as
    // <unso id="name"><payload/></unso>, which is the shape the program's handler reads:
    //   "peer_stats" <peerStats><peer …/>…</peerStats>      "channel_stats" <channelStats><channel …/>…
    //   "tun_stats"  <stats><codec><enc/></codec><sess …>…   "tun_conns" <conns><sess …><conn/>…</sess>
    //   "metering"   <metering rmlf=… …/>                    "version" <version version=… …/>
    //   "cfgStatus:netmgr.tunnel" <node><sess …>…</node>
    // "cfgData:netmgr.tunnel.*" is the exception: the program reads those reports only under the
    // "id" "netmgr.tunnel", so `out` is the complete frame <unso id="netmgr.tunnel"><node>…</node>
    // </unso>, to be sent with send_unso while the peer holds that subscription.
    // False for an unknown name, for "power" (the program has no handler for it and would log a
    // warning per report) and for "metering" while metering is switched off.
    bool report(const std::string& subscription, int64_t now_us, Message& out) const;

    // The nine subscriptions the program makes after login, in its order.
    static const std::vector<Subscription>& subscriptions();

    // The frame of `message` as the xmls protocol sends it (XML without declaration, then one NUL),
    // except that node values are written as element text (before the node's children). Tags and
    // attributes come from the library's writer; text is cleaned of what XML 1.0 cannot carry
    // (control bytes become blanks, ill-formed UTF-8 becomes U+FFFD) and escaped with ipc_escape.
    // Throws Exception as Message::serialize does for names no XML can carry.
    //
    // To send it from the server endpoint's command handler on the loop thread: write the bytes
    // with IPCConn::send_data, then empty the reply's name so that the protocol sends nothing of
    // its own for this request.
    static std::string frame_with_text(const Message& message);

private:
    struct Channel {
        int id = 0;
        std::string descr;
        bool has_remote_opts = true;
        MessageAttributes values;  // current value of each channel option, by option name
        int peer_id = 0;           // the peer connected on it; 0 = idle
        int ringing_peer_id = 0;   // the peer whose connect rings on it, holding it; 0 = none
    };
    struct CodecType {
        std::string id, code, mode, name, descr;
        int quality = 0;   // percent
        int delay_ms = 0;  // coding delay
        int bitrate = 0;   // bit/s
    };
    struct Peer {
        int id = 0;
        std::string name, addr, password, unit, backup_id, can_connect;
        bool is_bdlink = false;
        bool is_stored = true;
        bool retries_primary = false;
        int profile = 0;  // 0 = the unit's default profile
        bool is_directory = false;
        std::string directory_product, directory_state;
        bool is_directory_online = false;
        int channel = 0;           // the channel carrying the connection; 0 = not connected
        int64_t connected_us = 0;  // when the connection came up, on the caller's time line
    };
    // A connect whose far end has not answered yet.
    struct Ringing {
        int peer_id = 0;
        int64_t answer_us = 0;  // when its far end answers, on the caller's time line
    };
    struct TunnelDirection {
        bool is_auto = true;
        int max_delay_ms = 400;  // the limit set while automatic mode is off
    };
    struct TunnelLink {
        int li = 0, ri = 0;
        std::string ldesc, rdesc, name;
        int base_delay_ms = 0;  // what its reported delay varies about
    };

    // Request handlers: each either changes the state or refuses through the reply, never both.
    void do_connect(const Message& request, int64_t now_us, Message& reply);
    void do_disconnect(const Message& request, int64_t now_us, Message& reply);
    void do_add_peer(const Message& request, int64_t now_us, Message& reply);
    void do_set_peer_settings(const Message& request, int64_t now_us, Message& reply);
    void do_remove_peer(const Message& request, int64_t now_us, Message& reply);
    void do_add_profile(const Message& request, int64_t now_us, Message& reply);
    void do_copy_profile(const Message& request, int64_t now_us, Message& reply);
    void do_set_profile(const Message& request, int64_t now_us, Message& reply);
    void do_delete_profile(const Message& request, int64_t now_us, Message& reply);
    void do_set_sys_options(const Message& request, int64_t now_us, Message& reply);
    void do_set_directory_server(const Message& request, int64_t now_us, Message& reply);
    void do_set_channel_settings(const Message& request, int64_t now_us, Message& reply);
    void do_cfg_set_option(const Message& request, int64_t now_us, Message& reply);
    void do_set_max_delay(const Message& request, Message& reply);
    void do_monitor(const Message& request);
    void do_get_event_log(const Message& request, Message& reply);

    // Builders of reply content and pushes.
    void fill_channel_list(Message& node) const;
    void fill_profile_list(Message& node) const;
    void fill_codec_list(Message& node) const;
    void fill_peer_list(Message& node) const;
    void fill_directory_server(Message& node) const;
    void fill_sys_options(Message& node) const;
    void fill_version(Message& node) const;
    void fill_braidlink_settings(Message& node) const;
    void fill_tunnel_node(Message& node) const;
    void fill_tunnel_sess(Message& sess) const;
    void append_peer(Message& list, const Peer& peer) const;
    Message wrap_unso(const std::string& name, void (CodecModel::*fill)(Message&) const) const;

    // Reports.
    void fill_metering(Message& node, int64_t now_us) const;
    void fill_peer_stats(Message& node, int64_t now_us) const;
    void fill_channel_stats(Message& node, int64_t now_us) const;
    void fill_tun_stats(Message& node, int64_t now_us) const;
    void fill_tun_conns(Message& node) const;

    // Lookups; null when absent.
    Peer* find_peer(int id);
    const Peer* find_peer(int id) const;
    Channel* find_channel(int id);
    const Channel* find_channel(int id) const;
    Message* find_profile(int id);
    const Message* find_profile(int id) const;
    const CodecType* find_codec(const std::string& id) const;
    Message* braidlink_option(const std::string& name);
    const Message* braidlink_option(const std::string& name) const;
    std::string braidlink_value(const std::string& name) const;
    // The profile a peer connects with: its own, else the default one; null when neither exists.
    const Message* profile_for(const Peer& peer) const;
    // The codec id the local side sends to a peer.
    std::string profile_encoder(const Peer& peer) const;

    // Empty when `value` suits the descriptor, else why not.
    std::string check_value(const Message& descriptor, const std::string& value, bool allows_follow) const;
    // Validates the "local"/"remote" options of a profile for its channel; empty when all suit.
    std::string check_profile_options(const Message& profile) const;
    Message new_profile(int id, const std::string& name, int channel) const;

    void disconnect_peer(Peer& peer, int64_t now_us);
    // The channel a peer's call takes: that of its profile when free, else the first free one.
    Channel* free_channel_for(const Peer& peer);
    void bring_up(Peer& peer, Channel& channel, int64_t now_us);
    // Stops the ringing connect of a peer (0: of every peer).
    void stop_ringing(int peer_id);
    // The channel a peer's connect rings on; null when none does.
    Channel* ringing_channel_of(int peer_id);
    void add_log(int64_t now_us, const std::string& text);
    bool is_tunnel_up() const;
    int tunnel_delay_point(int which) const;  // the five delay points, ms, ascending
    int tunnel_packet_delay(int64_t now_us) const;
    int tunnel_max_delay(const TunnelDirection& direction, int64_t now_us) const;
    double noise(uint64_t a, uint64_t b) const;  // deterministic, in [0, 1)

    void seed_options();
    void seed_channels(int count);
    void seed_codecs();
    void seed_profiles();
    void seed_peers();
    void seed_tunnel();
    void seed_event_log();

    int index_;
    uint64_t seed_;
    int64_t calendar_origin_s_;
    bool has_accented_names_;

    std::string firmware_version_;
    std::string node_id_;  // MAC address text
    unsigned build_ = 1;

    Message system_opts_;       // "systemOpts": "option" descriptors of the settings page
    Message sys_options_;       // "sysOptions" values: attributes, plus one child per subgroup
    Message directory_server_;  // values of the options whose group is "directoryServer"
    Message channel_opts_;      // "channelOpts": channel and profile option descriptors
    Message braidlink_group_;   // "group" of "option" descriptors, each holding its "value"

    std::vector<Channel> channels_;
    std::vector<CodecType> codecs_;
    std::vector<Message> profiles_;  // each a "profile" node as the profile list carries it
    int next_profile_id_ = 1;
    std::vector<Peer> peers_;
    int next_peer_id_ = 1;
    int64_t answer_after_us_ = 0;
    std::vector<Ringing> ringing_;  // in the order the connects came
    bool is_ringing_anew_ = false;
    int64_t panel_call_after_stop_us_ = 0;
    std::vector<Ringing> panel_calls_;  // due at answer_us, in the order of the stops

    int tunnel_sid_ = 0;
    std::string tunnel_addr_;
    std::vector<TunnelLink> tunnel_links_;
    TunnelDirection tunnel_tx_;
    TunnelDirection tunnel_rx_;

    bool is_metering_on_ = true;
    bool is_settings_malformed_ = false;
    bool is_reusing_profile_ids_ = false;
    bool is_reusing_peer_ids_ = false;
    CodecEventLog event_log_;

    // What changed since the last take_pushes(); the pushes are built from the state then, so
    // several changes in one request give one message each.
    bool is_peer_list_changed_ = false;
    bool is_profile_list_changed_ = false;
    bool is_channel_list_changed_ = false;
    bool is_sys_options_changed_ = false;
    bool is_directory_server_changed_ = false;
};
