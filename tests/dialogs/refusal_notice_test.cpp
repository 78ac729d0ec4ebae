#include "dialogs/refusal_notice.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

#include "ipc/message/message.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/qt_wait.h"
#include "tests/support/unplaced_session.h"

namespace {

using Candidate = FailureEffect::Candidate;

const char* const kCodecs[] = {"DELTA", "ECHO", "FOXTROT"};  // at 10.0.0.4, .5 and .6, port 5004

FailureEffect::Subject peer(int id) {
    static const char* const kPeers[] = {"", "Studio A", "Studio B", "OB Van"};
    return {id, kPeers[id]};
}
Candidate connectOf(int id, bool isShownDone = false) {
    return {"connect", FailureEffect::kNotConnected, {peer(id)}, isShownDone};
}
Candidate disconnectOf(int id, bool isShownDone = false) {
    return {"disconnect", FailureEffect::kNotDisconnected, {peer(id)}, isShownDone};
}
Candidate disconnectAll() {
    return {"disconnect", FailureEffect::kNotDisconnected, {}, false};
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

struct Refusal {
    int codec;            // of kCodecs
    const char* request;  // "" for one that may answer several
    FailureEffect effect;
};
struct NoticeCase {
    const char* what;
    std::vector<Refusal> refusals;
    const char* text;  // after the notice's first line; null: no notice
};
const NoticeCase kNotices[] = {
    {"two of the operator's, neither shown done",
     {{0, "", oneOf({disconnectOf(1), connectOf(3)})}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); it answers your connect of \"OB Van\" (id 3) or "
     "your disconnect of \"Studio A\" (id 1)"},
    {"the scheduler's after the operator's",
     {{0, "", oneOf({disconnectAll(), programs("connect")})}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); it answers your disconnect of every peer or "
     "another request"},
    {"an editor's request, after one no one is told of",
     {{0, "", oneOf({programs("monitor"), programs("removePeer")})}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); it answers your removePeer or an earlier request"},
    {"a late answer: the operator's disconnect shown done",
     {{0, "", oneOf({programs("connect"), disconnectOf(3, true)})}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); the codec's peer list shows your disconnect of "
     "\"OB Van\" (id 3) done"},
    {"the scheduler's alone", {{0, "", oneOf({programs("connect"), programs("disconnect")})}}, nullptr},
    {"codecs that refused alike",
     {{0, "disconnect", everyPeerKept()}, {1, "disconnect", everyPeerKept()}, {2, "disconnect", everyPeerKept()}},
     "DELTA (10.0.0.4:5004),\nECHO (10.0.0.5:5004)\nand FOXTROT (10.0.0.6:5004) refused disconnect: busy (error "
     "500); no peer was disconnected"},
    {"one codec that refused alike twice",
     {{0, "disconnect", everyPeerKept()}, {0, "disconnect", everyPeerKept()}},
     "DELTA (10.0.0.4:5004) refused disconnect: busy (error 500); no peer was disconnected\n\nDELTA (10.0.0.4:5004) "
     "refused disconnect: busy (error 500); no peer was disconnected"},
    {"the fleet-wide Disconnect All, one codec right after a connect",
     {{0, "", oneOf({connectOf(2, true), disconnectAll()})}, {1, "disconnect", everyPeerKept()}},
     "DELTA (10.0.0.4:5004) refused a request: busy (error 500); it answers your disconnect of every peer or an "
     "earlier request\n\nECHO (10.0.0.5:5004) refused disconnect: busy (error 500); no peer was disconnected"},
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
            notice.report(*sessions[refusal.codec], refusal.request, "500", "busy", refusal.effect);
        }
        bool isShown = false;  // posted after the notice's own show
        QTimer::singleShot(0, [&] { isShown = true; });
        ASSERT_TRUE(test_support::wait_processing_events([&] { return isShown; }));
        const QString expected = c.text ? QStringLiteral("These changes were not made:\n\n") + c.text : QString();
        EXPECT_EQ(boxes.lastText("Changes Refused").toStdString(), expected.toStdString()) << c.what;
    }
}

}  // namespace
