#include "sessions/delay_graph_data.h"

DelayGraphData::DelayGraphData(QObject* parent) : GraphData(parent) {}

DelayGraphData::~DelayGraphData() = default;

bool DelayGraphData::hasData(int peer) const {
    const auto found = series_by_peer_.constFind(peer);
    return found != series_by_peer_.constEnd() && !found->points.isEmpty();
}

DelaySeries DelayGraphData::series(int peer) const {
    return series_by_peer_.value(peer);
}

void DelayGraphData::addSample(int peer, int bufferDelay, int packetJitter, int bufferDesiredDelay, qint64 takenMs) {
    DelaySeries& series = series_by_peer_[peer];
    push_newest<DelayPoint>(series.points, DelayPoint{bufferDelay, packetJitter}, capacity());
    push_newest<int>(series.desiredDelay, bufferDesiredDelay, capacity());
    push_newest<qint64>(series.takenMs, takenMs, capacity());
    note_change();
}

void DelayGraphData::retainPeers(const QSet<int>& peers) {
    retain(series_by_peer_, peers);
}

void DelayGraphData::clear() {
    series_by_peer_.clear();
}
