#include "sessions/delay_graph_data.h"

namespace {

template <typename T>
void push_newest(QList<T>& list, const T& value, int capacity) {
    list.prepend(value);
    while (list.size() > capacity) list.removeLast();
}

}  // namespace

DelayGraphData::DelayGraphData(QObject* parent) : GraphData(parent) {}

DelayGraphData::~DelayGraphData() = default;

bool DelayGraphData::hasData(int peer) const {
    const auto found = series_by_peer_.constFind(peer);
    return found != series_by_peer_.constEnd() && !found->points.isEmpty();
}

DelaySeries DelayGraphData::series(int peer) const {
    return series_by_peer_.value(peer);
}

void DelayGraphData::addSample(int peer, int bufferDelay, int packetJitter, int bufferDesiredDelay) {
    DelaySeries& series = series_by_peer_[peer];
    push_newest(series.points, DelayPoint{bufferDelay, packetJitter}, capacity());
    push_newest(series.desiredDelay, bufferDesiredDelay, capacity());
    emit dataChanged();
}

void DelayGraphData::retainPeers(const QSet<int>& peers) {
    bool is_dropped = false;
    for (auto it = series_by_peer_.begin(); it != series_by_peer_.end();) {
        if (peers.contains(it.key())) {
            ++it;
        } else {
            it = series_by_peer_.erase(it);
            is_dropped = true;
        }
    }
    if (is_dropped) emit dataChanged();
}

void DelayGraphData::clear() {
    series_by_peer_.clear();
}
