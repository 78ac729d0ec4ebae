#include "dialogs/refusal_notice.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

#include "ipc/message/message.h"
#include "sessions/session_requests.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/qt_wait.h"
#include "tests/support/unplaced_session.h"

namespace {

using Candidate = FailureEffect::Candidate;
namespace wire = session_requests;

const char* const kCodecs[] = {"DELTA", "ECHO", "FOXTROT"};  // at 10.0.0.4, .5 and .6, port 5004

FailureEffect::Subject peer(int id) {
    static const char* const kPeers[] = {"", "Studio A", "Studio B", "OB Van"};
    return {id, kPeers[id]};
}
Candidate connectOf(int id, bool isShownDone = false) {
    return {"connect", FailureEffect::kNotConnected, {peer(id)}, isShownDone, &wire::kConnect};
}
Candidate disconnectOf(int id, bool isShownDone = false) {
    return {"disconnect", FailureEffect::kNotDisconnected, {peer(id)}, isShownDone, &wire::kDisconnect};
}
Candidate disconnectAll() {
    return {"disconnect", FailureEffect::kNotDisconnected, {}, false, &wire::kDisconnect};
}
Candidate programs(const char* request) {  // the scheduler's, or a request no one is told of
    return {request, FailureEffect::kNone, {}, false};
}
FailureEffect oneOf(const QList<Candidate>& candidates) {
    FailureEffect effect;
    effect.kind = FailureEffect::kAnswersOneOf;
    effect.candidates = candidates;
    return effect;
}
FailureEffect everyPeerKept() {  // a refused disconnect of every peer, paired with its request
    FailureEffect effect;
    effect.kind = FailureEffect::kNotDisconnected;
    return effect;
}
// A refusal paired with its request, which named `subjects`.
FailureEffect naming(const QList<FailureEffect::Subject>& subjects, FailureEffect::Kind kind = FailureEffect::kNone) {
    FailureEffect effect;
    effect.kind = kind;
    effect.subjects = subjects;
    return effect;
}
const FailureEffect kPaired;  // a refusal paired with a request that named nothing
const FailureEffect kLinkLost = {FailureEffect::kNoAnswer, nullptr, {peer(1)}, {}, {ConnectionFault::kTimedOut, {}, 0}};
const FailureEffect::Subject kProfile = {3, "LB Nord"};
const FailureEffect::Subject kEmptyCopy = {7, "New Profile"};

struct Refusal {
    int codec;                           // of kCodecs
    const wire::OperatorRequest* asked;  // null: the program's own, or one that may answer several
    FailureEffect effect;
};
struct NoticeCase {
    const char* what;
    std::vector<Refusal> refusals;
    const char* text;  // after the notice's first line; null: no notice
    const char* title = "Changes Refused";
    const char* heading = "These changes were not made:";
};
const NoticeCase kNotices[] = {
    {"two of the operator's, neither shown done",
     {{0, nullptr, oneOf({disconnectOf(1), connectOf(3)})}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); it answers your connect of \"OB Van\" (id 3) or "
     "your disconnect of \"Studio A\" (id 1)"},
    {"the scheduler's after the operator's",
     {{0, nullptr, oneOf({disconnectAll(), programs("connect")})}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); it answers your disconnect of every peer or "
     "another request"},
    {"an editor's request, after one no one is told of",
     {{0, nullptr, oneOf({programs("monitor"), {"removePeer", FailureEffect::kNone, {}, false, &wire::kRemovePeer}})}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); it answers your request to remove a peer or an "
     "earlier request"},
    {"your removal of a named peer, after your connect",
     {{0, nullptr, oneOf({connectOf(3), {"removePeer", FailureEffect::kNone, {peer(1)}, false, &wire::kRemovePeer}})}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); it answers your request to remove the peer "
     "\"Studio A\" or your connect of \"OB Van\" (id 3)"},
    {"a late answer: the operator's disconnect shown done",
     {{0, nullptr, oneOf({programs("connect"), disconnectOf(3, true)})}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); the codec's peer list shows your disconnect of "
     "\"OB Van\" (id 3) done"},
    {"the scheduler's alone", {{0, nullptr, oneOf({programs("connect"), programs("disconnect")})}}, nullptr},
    {"codecs that refused alike",
     {{0, &wire::kDisconnect, everyPeerKept()},
      {1, &wire::kDisconnect, everyPeerKept()},
      {2, &wire::kDisconnect, everyPeerKept()}},
     "DELTA (10.0.0.4:5004),\nECHO (10.0.0.5:5004)\nand FOXTROT (10.0.0.6:5004) refused to disconnect every peer: "
     "busy (error 500)"},
    {"one codec that refused alike twice",
     {{0, &wire::kDisconnect, everyPeerKept()}, {0, &wire::kDisconnect, everyPeerKept()}},
     "DELTA (10.0.0.4:5004) refused to disconnect every peer: busy (error 500)\n\nDELTA (10.0.0.4:5004) "
     "refused to disconnect every peer: busy (error 500)"},
    {"the fleet-wide Disconnect All, one codec right after a connect",
     {{0, nullptr, oneOf({connectOf(2, true), disconnectAll()})}, {1, &wire::kDisconnect, everyPeerKept()}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); it answers your disconnect of every peer or an "
     "earlier request\n\nECHO (10.0.0.5:5004) refused to disconnect every peer: busy (error 500)"},
    // Each request in the operator's words; its name on the wire goes only to the log.
    {"Save Changes of the settings",
     {{0, &wire::kSetSysOptions, kPaired}},
     "DELTA (10.0.0.4:5004) refused to save the settings: busy (error 500)"},
    {"a two-group save",
     {{0, &wire::kSetDirectoryServer, kPaired}, {0, &wire::kSetChannelSettings, kPaired}},
     "DELTA (10.0.0.4:5004) refused to save the directory server settings: busy (error 500)\n\n"
     "DELTA (10.0.0.4:5004) refused to save the channel settings: busy (error 500)"},
    {"the tunnel settings",
     {{0, &wire::kSetBraidlinkOptions, kPaired}},
     "DELTA (10.0.0.4:5004) refused to save the Braidlink settings: busy (error 500)"},
    {"an edited profile",
     {{0, &wire::kSetProfile, naming({kProfile})}},
     "DELTA (10.0.0.4:5004) refused to save the profile \"LB Nord\": busy (error 500)"},
    {"a profile write that answers one of several",
     {{0, &wire::kSetProfile, kPaired}},
     "DELTA (10.0.0.4:5004) refused to save a profile: busy (error 500)"},
    {"a profile copy's write",
     {{0, &wire::kSetProfile, naming({kEmptyCopy}, FailureEffect::kCopyNotMade)}},
     "DELTA (10.0.0.4:5004) refused to copy a profile: busy (error 500); the profile copy was not made"},
    {"New Profile",
     {{0, &wire::kNewProfile, kPaired}},
     "DELTA (10.0.0.4:5004) refused to make a new profile: busy (error 500)"},
    {"the tunnel page's delay",
     {{0, &wire::kSetMaxDelay, kPaired}},
     "DELTA (10.0.0.4:5004) refused to change the Braidlink delay: busy (error 500)"},
    {"a profile copy's new profile",
     {{0, &wire::kAddProfile, kPaired}},
     "DELTA (10.0.0.4:5004) refused to copy a profile: busy (error 500)"},
    {"Remove Profile",
     {{0, &wire::kDeleteProfile, naming({kProfile})}},
     "DELTA (10.0.0.4:5004) refused to remove the profile \"LB Nord\": busy (error 500)"},
    {"the removal of a refused copy's empty profile",
     {{0, &wire::kDeleteCopyProfile, naming({kEmptyCopy}, FailureEffect::kEmptyProfileLeft)}},
     "DELTA (10.0.0.4:5004) refused to remove a profile: busy (error 500); the empty profile \"New Profile\" (id 7), "
     "made for a profile copy, stays on it"},
    {"Add Peer",
     {{0, &wire::kAddPeer, naming({{0, "Radio Nord 2"}})}},
     "DELTA (10.0.0.4:5004) refused to add the peer \"Radio Nord 2\": busy (error 500)"},
    {"a peer copied from another codec",
     {{0, &wire::kAddPeer, kPaired}},
     "DELTA (10.0.0.4:5004) refused to add a peer: busy (error 500)"},
    {"Edit Peer",
     {{0, &wire::kSetPeerSettings, naming({peer(2)})}},
     "DELTA (10.0.0.4:5004) refused to change the peer \"Studio B\": busy (error 500)"},
    {"the profile a connect was to use",
     {{0, &wire::kSetPeerSettings, naming({peer(2)}, FailureEffect::kNotConnected)}},
     "DELTA (10.0.0.4:5004) refused to give the peer \"Studio B\" the profile chosen for it: busy (error 500); peer "
     "\"Studio B\" (id 2) was not connected"},
    {"Remove Peer",
     {{0, &wire::kRemovePeer, naming({peer(1)})}},
     "DELTA (10.0.0.4:5004) refused to remove the peer \"Studio A\": busy (error 500)"},
    {"Remove Peer of a peer the list no longer names",
     {{0, &wire::kRemovePeer, naming({{5, ""}})}},
     "DELTA (10.0.0.4:5004) refused to remove the peer with id 5: busy (error 500)"},
    {"Connect",
     {{0, &wire::kConnect, naming({peer(3)}, FailureEffect::kNotConnected)}},
     "DELTA (10.0.0.4:5004) refused to connect the peer \"OB Van\": busy (error 500)"},
    {"Disconnect",
     {{0, &wire::kDisconnect, naming({peer(1)}, FailureEffect::kNotDisconnected)}},
     "DELTA (10.0.0.4:5004) refused to disconnect the peer \"Studio A\": busy (error 500)"},
    {"the program's own request", {{0, nullptr, kPaired}}, nullptr},
    {"a disconnect that got no answer",
     {{0, &wire::kDisconnect, kLinkLost}},
     "DELTA (10.0.0.4:5004): your request to disconnect the peer \"Studio A\" got no answer: the codec stopped "
     "answering; it may or may not have been done",
     "Requests Unanswered",
     "These requests got no answer before the link to their codec was lost:"},
    {"a refusal after a request that got no answer",
     {{1, &wire::kDisconnect, kLinkLost}, {0, &wire::kSetSysOptions, kPaired}},
     "DELTA (10.0.0.4:5004) refused to save the settings: busy (error 500)\n\nThese requests got no answer before "
     "the link to their codec was lost:\n\nECHO (10.0.0.5:5004): your request to disconnect the peer \"Studio A\" "
     "got no answer: the codec stopped answering; it may or may not have been done"},
};

// What the operator reads of the refusals that came while the notice was open.
TEST(RefusalNotice, TellsEachRefusalAsTheRequestsItMayAnswer) {
    std::vector<std::unique_ptr<test_support::UnplacedSession>> sessions;
    for (const char* name : kCodecs) {
        sessions.push_back(std::make_unique<test_support::UnplacedSession>(name, QUuid::createUuid()));
        Message options;
        options.set_name("resp");
        options.attributes().set("unit_name", name);
        sessions.back()->cache_message(options, QStringLiteral("sysOptions"));
        sessions.back()->host = QStringLiteral("10.0.0.%1").arg(sessions.size() + 3);
        sessions.back()->port = 5004;
    }
    QWidget window;
    for (const NoticeCase& c : kNotices) {
        MessageBoxRecorder boxes;
        RefusalNotice notice(&window);
        for (const Refusal& refusal : c.refusals) {
            FailureEffect effect = refusal.effect;
            effect.asked = refusal.asked;
            notice.report(*sessions[refusal.codec], "500", "busy", effect);
        }
        bool isShown = false;  // posted after the notice's own show
        QTimer::singleShot(0, [&] { isShown = true; });
        ASSERT_TRUE(test_support::wait_processing_events([&] { return isShown; }));
        const QString expected = c.text ? QStringLiteral("%1\n\n%2").arg(c.heading, c.text) : QString();
        EXPECT_EQ(boxes.lastText(c.title).toStdString(), expected.toStdString()) << c.what;
    }
}

}  // namespace
