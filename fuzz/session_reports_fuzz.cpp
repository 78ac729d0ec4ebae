// The codec session's parsers over reports of any shape: NUL-separated XML frames, stored in turn
// as "peerList", "peerStats", "channelStats", "profileList" and "metering" and parsed as the
// dispatch would, through the cached copy and through the subscribed report's slot. Nothing may
// throw or read out of bounds, and the session's collections must stay consistent and bounded.
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QtGlobal>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>

#include "fuzz/fuzz_frames.h"
#include "ipc/message/message.h"
#include "sessions/ipc_object.h"
#include "sessions/session_meta_types.h"
#include "tests/support/unplaced_session.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void discard(QtMsgType, const QMessageLogContext&, const QString&) {}

bool set_up() {
    qInstallMessageHandler(discard);
    register_session_meta_types();
    return true;
}

void run(IPCObject& session, const char* slot) {
    require(QMetaObject::invokeMethod(&session, slot, Qt::DirectConnection));
}

void run(IPCObject& session, const char* slot, const Message& report) {
    require(QMetaObject::invokeMethod(&session, slot, Qt::DirectConnection, Q_ARG(Message, report)));
}

void check(IPCObject& session) {
    std::lock_guard<SessionMutex> lock(session.mutex());
    require(session.bookPeers.size() + session.directoryPeers.size() == session.allPeers.size());
    require(session.peerById.size() == session.allPeers.size());  // repeated ids are skipped
    require(session.activePeerIds.size() == session.activePeers.size());
    require(session.activePeerCount == -1 || session.activePeerCount == session.activePeers.size());
    for (const PeerMetaPtr& peer : session.activePeers) require(peer && peer->active && peer->channel);
    require(session.channelStatsById.size() <= IPCObject::kMaxChannelStats);
    for (int id : session.peerStatsById.keys()) {
        require(session.lossGraph.series(id).frameLossRate.size() <= GraphData::kCapacity);
        require(session.delayGraph.series(id).points.size() <= GraphData::kCapacity);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = set_up();
    (void)ready;
    const std::string input(reinterpret_cast<const char*>(data), size);

    const QUuid uuid = QUuid::createUuid();
    test_support::UnplacedSession session(uuid.toString(), uuid);
    int events_in_list = 0;
    QObject::connect(&session, &IPCObject::deviceEvent, [&] { ++events_in_list; });
    QObject::connect(&session, &IPCObject::recvAllLevels,
                     [](float a, float b, float c, float d, float e, float f, float g, float h) {
                         for (float level : {a, b, c, d, e, f, g, h}) {
                             require(!std::isnan(level) && level >= IPCObject::kSilenceDb &&
                                     level <= IPCObject::kFullScaleDb);
                         }
                     });

    static const char* const kNames[] = {"peerList", "peerStats", "channelStats", "profileList", "metering"};
    const std::vector<Message> reports = parse_frames(input, 15);
    for (size_t frame = 0; frame < reports.size(); ++frame) {
        const Message& report = reports[frame];
        const char* name = kNames[frame % 5];
        session.cache_message(report, QString::fromLatin1(name));
        switch (frame % 5) {
        case 0:
            events_in_list = 0;
            run(session, "cb_resp_peerList");
            require(events_in_list <= 1);
            break;
        case 1:
            run(session, "cb_resp_peerStats");
            run(session, "cb_unso_peer_stats", report);
            break;
        case 2:
            run(session, "cb_resp_channelStats");
            run(session, "cb_unso_channel_stats", report);
            break;
        case 3: run(session, "cb_resp_profileList"); break;
        default:
            run(session, "cb_resp_levels");
            run(session, "cb_unso_metering", report);
            break;
        }
        check(session);
    }
    return 0;
}
