#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <string>

#include "ipc/message/message.h"

// The requests the program sends a codec, each defined here once: the sessions' fetches and own
// requests, and the operator's, with what the operator is told of a refusal. A request goes to a
// codec only as made from one of these definitions (Request, AskedRequest): no name is written by
// hand anywhere else. The names a codec answers with are the session's, beside its subscriptions
// (ipc_object_startup.cpp), and its cb_resp_ and cb_unso_ slots.
namespace session_requests {

// A request's name on the wire, and the seq its answer, and a refusal of it, come back under; a
// request sent without seq is answered, and refused, by its name.
struct WireRequest {
    const char* name;
    const char* seq;  // null: sent without one
};

// A request the operator asks for, through an editor, a menu or the dock, and the words that tell
// what the operator asked for when the codec refuses it ("refused to save the settings"): with what
// it concerned for %1, and without. It cannot be defined without those words: a null or empty
// `asked` makes the definition, evaluated as the program is compiled, fail to compile. No two
// definitions share a seq: a refusal with seq finds the definition sent under it.
struct OperatorRequest {
    constexpr OperatorRequest(WireRequest wire_request, const char* named, const char* words)
        : wire(wire_request),
          asked_named(named),
          asked(words && *words ? words : throw "an operator's request is defined with its words") {}

    WireRequest wire;
    const char* asked_named;  // null: the request names nothing the operator would know
    const char* asked;

    // What the refusal names: the seq, or the name of a request without one.
    constexpr const char* refused_as() const { return wire.seq ? wire.seq : wire.name; }
};

// The configuration path of the codec's tunnel settings and status.
inline constexpr char kTunnelPath[] = "netmgr.tunnel";

// Fetches: their answers go to the session's slots "cb_resp_" + seq, and are cached under it.
inline constexpr WireRequest kGetChannelList{"getChannelList", "channelList"};
inline constexpr WireRequest kGetChannelOpts{"getChannelOpts", "channelOpts"};
inline constexpr WireRequest kGetProfileList{"getProfileList", "profileList"};
inline constexpr WireRequest kGetCodecList{"getCodecList", "codecList"};
inline constexpr WireRequest kGetPeerList{"getPeerList", "peerList"};
inline constexpr WireRequest kGetDirectoryServer{"getDirectoryServer", "directoryServer"};
inline constexpr WireRequest kGetSysOptions{"getSysOptions", "sysOptions"};
inline constexpr WireRequest kGetVersion{"getVersion", "version"};
inline constexpr WireRequest kGetBraidlinkSettings{"cfgDescribe", "braidlinkSettings"};
inline constexpr WireRequest kGetTunnelStatus{"cfgGetStatus", "tunnelStatus"};
inline constexpr WireRequest kGetEventLog{"getEventLog", "eventLog"};
// The program's own: what a codec reports, and how often (the level meters' pace).
inline constexpr WireRequest kMonitor{"monitor", nullptr};
// Sent behind an operator's command without seq: a codec answers in order, so its answer shows
// that the command was read.
inline constexpr WireRequest kPing{"ping", "ping"};

// The operator's requests.
inline constexpr OperatorRequest kSetSysOptions{{"setSysOptions", "setSysOptions"},
                                                nullptr,
                                                QT_TRANSLATE_NOOP("RefusalNotice", "to save the settings")};
inline constexpr OperatorRequest kSetDirectoryServer{{"setDirectoryServer", "setDirectoryServer"},
                                                     nullptr,
                                                     QT_TRANSLATE_NOOP("RefusalNotice",
                                                                       "to save the directory server settings")};
inline constexpr OperatorRequest kSetChannelSettings{{"setChannelSettings", "setChannelSettings"},
                                                     nullptr,
                                                     QT_TRANSLATE_NOOP("RefusalNotice",
                                                                       "to save the channel settings")};
inline constexpr OperatorRequest kSetBraidlinkOptions{{"cfgSetOption", "setBraidlinkOptions"},
                                                      nullptr,
                                                      QT_TRANSLATE_NOOP("RefusalNotice",
                                                                        "to save the Braidlink settings")};
inline constexpr OperatorRequest kSetMaxDelay{{"setMaxDelay", nullptr},
                                              nullptr,
                                              QT_TRANSLATE_NOOP("RefusalNotice", "to change the Braidlink delay")};
inline constexpr OperatorRequest kSetProfile{{"setProfile", "setProfile"},
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to save the profile %1"),
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to save a profile")};
// Duplicate Profile: the codec copies one of its own profiles.
inline constexpr OperatorRequest kCopyProfile{{"copyProfile", nullptr},
                                              QT_TRANSLATE_NOOP("RefusalNotice", "to copy the profile %1"),
                                              QT_TRANSLATE_NOOP("RefusalNotice", "to copy a profile")};
// The first step of a profile copied from another codec: an empty profile, whose id its answer gives.
inline constexpr OperatorRequest kAddProfile{{"addProfile", "addProfile"},
                                             nullptr,
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to copy a profile")};
inline constexpr OperatorRequest kNewProfile{{"addProfile", nullptr},
                                             nullptr,
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to make a new profile")};
inline constexpr OperatorRequest kDeleteProfile{{"deleteProfile", nullptr},
                                                QT_TRANSLATE_NOOP("RefusalNotice", "to remove the profile %1"),
                                                QT_TRANSLATE_NOOP("RefusalNotice", "to remove a profile")};
// The last step of a profile copy whose write was refused: the empty profile goes again. With a
// seq, unlike the operator's removals: its answer tells whether the empty profile stays.
inline constexpr OperatorRequest kDeleteCopyProfile{{"deleteProfile", "deleteProfile"},
                                                    nullptr,
                                                    QT_TRANSLATE_NOOP("RefusalNotice", "to remove a profile")};
inline constexpr OperatorRequest kAddPeer{{"addPeer", "addPeer"},
                                          QT_TRANSLATE_NOOP("RefusalNotice", "to add the peer %1"),
                                          QT_TRANSLATE_NOOP("RefusalNotice", "to add a peer")};
inline constexpr OperatorRequest kSetPeerSettings{{"setPeerSettings", "setPeerSettings"},
                                                  QT_TRANSLATE_NOOP("RefusalNotice", "to change the peer %1"),
                                                  QT_TRANSLATE_NOOP("RefusalNotice", "to change a peer")};
inline constexpr OperatorRequest kRemovePeer{{"removePeer", nullptr},
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to remove the peer %1"),
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to remove a peer")};
// Also the scheduler's, whose refusals are told on its rows rather than to the operator.
inline constexpr OperatorRequest kConnect{{"connect", nullptr},
                                          QT_TRANSLATE_NOOP("RefusalNotice", "to connect the peer %1"),
                                          QT_TRANSLATE_NOOP("RefusalNotice", "to connect a peer")};
inline constexpr OperatorRequest kDisconnect{{"disconnect", nullptr},
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to disconnect the peer %1"),
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to disconnect every peer")};
inline constexpr OperatorRequest kMeteringOn{{"monitor", nullptr},
                                             nullptr,
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to switch its level meters on")};
inline constexpr OperatorRequest kMeteringOff{{"monitor", nullptr},
                                              nullptr,
                                              QT_TRANSLATE_NOOP("RefusalNotice", "to switch its level meters off")};
// The event-log panel's Reset: the codec empties its own log and sends no entries.
inline constexpr OperatorRequest kClearEventLog{{"getEventLog", nullptr},
                                                nullptr,
                                                QT_TRANSLATE_NOOP("RefusalNotice", "to clear its event log")};

// Every request above whose answer the session handles in "cb_resp_" + seq; the others' answers
// are only cached.
inline constexpr WireRequest kHandledReplies[] = {
    kGetChannelList,       kGetChannelOpts,           kGetProfileList, kGetCodecList,
    kGetPeerList,          kGetDirectoryServer,       kGetSysOptions,  kGetVersion,
    kGetBraidlinkSettings, kGetTunnelStatus,          kGetEventLog,    kAddPeer.wire,
    kAddProfile.wire,      kSetBraidlinkOptions.wire,
};

// The requests that change nothing on the codec, the fetches and the ping: one whose answer was
// lost (in a frame the reader dropped) may be asked again.
inline constexpr WireRequest kReads[] = {
    kGetChannelList, kGetChannelOpts, kGetProfileList,       kGetCodecList,    kGetPeerList, kGetDirectoryServer,
    kGetSysOptions,  kGetVersion,     kGetBraidlinkSettings, kGetTunnelStatus, kGetEventLog, kPing,
};
// Whether `message` is one of kReads: its name and its seq are one's.
bool is_read(const Message& message);

// The subscription whose reports carry the codec's levels, and the "id" they come under.
inline constexpr char kMeteringSubscription[] = "metering";

// A request as it goes to a codec, made only from a definition above, never from a name: the
// senders of a session take nothing else, and a definition made up on the spot (a braced
// {"copyProfile", nullptr}) does not bind. A plain value.
class Request {
public:
    // The request with its name, and its seq if it has one.
    explicit Request(const WireRequest& wire);
    // `content` sent as the request: renamed, and given its seq if it has one.
    Request(Message content, const WireRequest& wire);
    explicit Request(WireRequest&&) = delete;
    Request(Message, WireRequest&&) = delete;

    Message::Attributes& attributes() { return message_.attributes(); }
    const Message::Attributes& attributes() const { return message_.attributes(); }
    Message& add_child(const std::string& name) { return message_.add_child(name); }
    Message& add_child_copy(const Message& child) { return message_.add_child_copy(child); }
    const Message& message() const { return message_; }
    std::string seq() const { return message_.attributes().get_string("seq", ""); }

private:
    Message message_;
};

// The operator's request: made only from its definition, so that it goes with the words a refusal
// of it is told in.
class AskedRequest : public Request {
public:
    explicit AskedRequest(const OperatorRequest& asked) : Request(asked.wire), asked_(&asked) {}
    AskedRequest(Message content, const OperatorRequest& asked)
        : Request(std::move(content), asked.wire), asked_(&asked) {}
    // It keeps its definition: a temporary would be gone before the refusal comes.
    explicit AskedRequest(OperatorRequest&&) = delete;
    AskedRequest(Message, OperatorRequest&&) = delete;

    const OperatorRequest& asked() const { return *asked_; }

private:
    const OperatorRequest* asked_;  // a definition above
};

Request event_log_request();
// Switches the codec's levels on, or off; a legacy codec reports them every `interval`
// milliseconds. The program's, as it paces the meters.
Request metering_request(bool is_on, uint32_t interval);
// The same, as the operator's metering switch.
AskedRequest metering_switch(bool is_on, uint32_t interval);
// Switches on the statistics and levels a legacy codec reports, the levels every `interval`
// milliseconds.
Request monitor_request(uint32_t interval);
// What "monitor" switches on, by the names a legacy codec sends the reports under, each to its
// slot "cb_unso_" + name.
inline constexpr const char* kMonitorReports[] = {"peerStats", "channelStats", "levels"};
AskedRequest peer_settings_request(int id, int profile);

}  // namespace session_requests
