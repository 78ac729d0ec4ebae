#include "sessions/loss_graph_data.h"

#include <cstdint>
#include <limits>

namespace {

// Codec figures are outside input: their sum must not overflow.
int saturated_sum(int a, int b) {
    const int64_t sum = static_cast<int64_t>(a) + b;
    if (sum > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (sum < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(sum);
}

}  // namespace

LossGraphData::LossGraphData(QObject* parent) : GraphData(parent) {}

LossGraphData::~LossGraphData() = default;

bool LossGraphData::hasData(int peer) const {
    const auto found = series_by_peer_.constFind(peer);
    return found != series_by_peer_.constEnd() && !found->frameLossRate.isEmpty();
}

LossSeries LossGraphData::series(int peer) const {
    return series_by_peer_.value(peer);
}

void LossGraphData::addSample(int peer, int frameLossRate, int remoteLoss, int corrUpRate, int corrDownRate,
                              qint64 takenMs) {
    LossSeries& series = series_by_peer_[peer];
    push_newest<qint64>(series.takenMs, takenMs, capacity());
    push_newest<int>(series.frameLossRate, frameLossRate, capacity());
    push_newest<int>(series.remoteLoss, remoteLoss, capacity());
    push_newest<int>(series.correction, saturated_sum(corrUpRate, corrDownRate), capacity());
    note_change();
}

void LossGraphData::retainPeers(const QSet<int>& peers) {
    retain(series_by_peer_, peers);
}

void LossGraphData::clear() {
    series_by_peer_.clear();
}
