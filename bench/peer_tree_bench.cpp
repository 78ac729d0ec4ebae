// The dock's peer tree under a codec with 16,000 peers: PeerTreePanel::update with each new list,
// in the same run for a codec that keeps its peers' order and for one that reverses it every time
// (each list also renames every peer, so that every row changes). The ratio of the two is the
// result: a tree that looks each row's peer up in the list grows with the square of the peers when
// they come in a new order.
//
// Usage: peer_tree_bench [--benchmark_repetitions=5]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTreeWidget>

#include <string>

#include "app/dock/peer_state_icons.h"
#include "app/dock/peer_tree_panel.h"
#include "ipc/message/message.h"
#include "sessions/ipc_object.h"

namespace {

constexpr int kPeers = 16000;

// A session fed peer lists directly, never placed on a pool.
class ListedSession : public IPCObject {
public:
    ListedSession() : IPCObject(QStringLiteral("bench"), QUuid::createUuid()) {}
    ~ListedSession() override = default;

    // Peers 1 .. kPeers, forward or reversed, each named with `round`.
    void list(bool isReversed, int round) {
        Message reply;
        reply.set_name("resp");
        for (int i = 0; i < kPeers; ++i) {
            const int id = isReversed ? kPeers - i : i + 1;
            Message& peer = reply.add_child("peer");
            peer.attributes().set("id", id);
            peer.attributes().set("name", "Peer " + std::to_string(id) + " round " + std::to_string(round));
            peer.attributes().set("addr", "10.1." + std::to_string(id / 250) + "." + std::to_string(id % 250));
        }
        cache_message(reply, QStringLiteral("peerList"));
        QMetaObject::invokeMethod(this, "cb_resp_peerList", Qt::DirectConnection);
    }
};

// Argument: 0 the codec's order kept, 1 reversed on every other list.
void BM_PeerTreeUpdate(benchmark::State& state) {
    const bool reorders = state.range(0) != 0;
    QTreeWidget tree;
    tree.setColumnCount(5);
    QLineEdit filter;
    PeerTreePanel panel(&tree, &filter);
    ListedSession session;
    session.list(false, 0);
    panel.refill(session);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        session.list(reorders && round % 2 == 1, round);
        state.ResumeTiming();
        panel.update(session);
    }
}

BENCHMARK(BM_PeerTreeUpdate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    createPeerStateIcons();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
