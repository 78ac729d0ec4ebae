#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>

#include "ipc/message/message.h"

// The requests the program sends a codec, named here once: the sessions' fetches and commands and
// the editors' requests, with what the operator is told of a refusal. Plain values, sent by the
// caller. The names a codec answers with are the session's, beside its subscriptions
// (ipc_object_startup.cpp), and its cb_resp_ and cb_unso_ slots.
namespace session_requests {

// A request's name on the wire, and the seq its answer, and a refusal of it, come back under; a
// request sent without seq is answered, and refused, by its name.
struct WireRequest {
    const char* name;
    const char* seq;  // null: sent without one
};

// A request the operator asks for, through an editor or a command, and the words that tell what
// the operator asked for when the codec refuses it ("refused to save the settings"): with what it
// concerned for %1, and without. An editor's request is always the operator's business; a
// command's only where its refusal leaves the operator's action undone (a FailureEffect).
struct OperatorRequest {
    WireRequest wire;
    const char* asked_named;  // null: the request names nothing the operator would know
    const char* asked;
    bool is_editors;

    // What the refusal names: the seq, or the name of a request without one.
    const char* refused_as() const { return wire.seq ? wire.seq : wire.name; }
};

// The configuration path of the codec's tunnel settings and status.
inline constexpr char kTunnelPath[] = "netmgr.tunnel";

// Fetches: their answers go to the session's slots "cb_resp_" + seq.
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
// Sent behind an operator's command without seq: a codec answers in order, so its answer shows
// that the command was read.
inline constexpr WireRequest kPing{"ping", "ping"};

// The operator's requests.
inline constexpr OperatorRequest kSetSysOptions{{"setSysOptions", "setSysOptions"},
                                                nullptr,
                                                QT_TRANSLATE_NOOP("RefusalNotice", "to save the settings"),
                                                true};
inline constexpr OperatorRequest kSetDirectoryServer{{"setDirectoryServer", "setDirectoryServer"},
                                                     nullptr,
                                                     QT_TRANSLATE_NOOP("RefusalNotice",
                                                                       "to save the directory server settings"),
                                                     true};
inline constexpr OperatorRequest kSetChannelSettings{{"setChannelSettings", "setChannelSettings"},
                                                     nullptr,
                                                     QT_TRANSLATE_NOOP("RefusalNotice", "to save the channel settings"),
                                                     true};
inline constexpr OperatorRequest kSetBraidlinkOptions{{"cfgSetOption", "setBraidlinkOptions"},
                                                      nullptr,
                                                      QT_TRANSLATE_NOOP("RefusalNotice",
                                                                        "to save the Braidlink settings"),
                                                      true};
inline constexpr OperatorRequest kSetProfile{{"setProfile", "setProfile"},
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to save the profile %1"),
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to save a profile"),
                                             true};
inline constexpr OperatorRequest kAddProfile{{"addProfile", "addProfile"},
                                             nullptr,
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to copy a profile"),
                                             true};
// Sent without seq by the operator; a refused copy's empty profile is removed with one.
inline constexpr OperatorRequest kDeleteProfile{{"deleteProfile", nullptr},
                                                QT_TRANSLATE_NOOP("RefusalNotice", "to remove the profile %1"),
                                                QT_TRANSLATE_NOOP("RefusalNotice", "to remove a profile"),
                                                true};
inline constexpr OperatorRequest kAddPeer{{"addPeer", "addPeer"},
                                          QT_TRANSLATE_NOOP("RefusalNotice", "to add the peer %1"),
                                          QT_TRANSLATE_NOOP("RefusalNotice", "to add a peer"),
                                          true};
inline constexpr OperatorRequest kSetPeerSettings{{"setPeerSettings", "setPeerSettings"},
                                                  QT_TRANSLATE_NOOP("RefusalNotice", "to change the peer %1"),
                                                  QT_TRANSLATE_NOOP("RefusalNotice", "to change a peer"),
                                                  true};
inline constexpr OperatorRequest kRemovePeer{{"removePeer", nullptr},
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to remove the peer %1"),
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to remove a peer"),
                                             true};
inline constexpr OperatorRequest kConnect{{"connect", nullptr},
                                          QT_TRANSLATE_NOOP("RefusalNotice", "to connect the peer %1"),
                                          QT_TRANSLATE_NOOP("RefusalNotice", "to connect a peer"),
                                          false};
inline constexpr OperatorRequest kDisconnect{{"disconnect", nullptr},
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to disconnect the peer %1"),
                                             QT_TRANSLATE_NOOP("RefusalNotice", "to disconnect every peer"),
                                             false};

// Every operator's request above; a new one joins here, beside its definition.
inline constexpr const OperatorRequest* kOperatorRequests[] = {
    &kSetSysOptions,
    &kSetDirectoryServer,
    &kSetChannelSettings,
    &kSetBraidlinkOptions,
    &kSetProfile,
    &kAddProfile,
    &kDeleteProfile,
    &kAddPeer,
    &kSetPeerSettings,
    &kRemovePeer,
    &kConnect,
    &kDisconnect,
};
// The operator's request a refusal names (OperatorRequest::refused_as); null for the program's own.
const OperatorRequest* operator_request(const QString& refused_as);

// Every request above whose answer the session handles in "cb_resp_" + seq; the others' answers
// are only cached.
inline constexpr WireRequest kHandledReplies[] = {
    kGetChannelList,       kGetChannelOpts,           kGetProfileList, kGetCodecList,
    kGetPeerList,          kGetDirectoryServer,       kGetSysOptions,  kGetVersion,
    kGetBraidlinkSettings, kGetTunnelStatus,          kGetEventLog,    kAddPeer.wire,
    kAddProfile.wire,      kSetBraidlinkOptions.wire,
};

// A request named `name`, without seq: its reply is filed under its first child's name.
Message request(const char* name);
// The request as it goes on the wire, with its seq if it has one.
Message request(const WireRequest& wire);
// `copy` sent as the request: renamed, and given its seq if it has one.
Message renamed(Message copy, const WireRequest& wire);
Message event_log_request();
// Switches the codec's levels on; a legacy codec reports them every `interval` milliseconds.
Message metering_on_request(uint32_t interval);
// Switches on the statistics and levels a legacy codec reports, the levels every `interval`
// milliseconds.
Message monitor_request(uint32_t interval);
// What "monitor" switches on, by the names a legacy codec sends the reports under, each to its
// slot "cb_unso_" + name.
inline constexpr const char* kMonitorReports[] = {"peerStats", "channelStats", "levels"};
Message peer_settings_request(int id, int profile);
Message metering_off_request();

}  // namespace session_requests
