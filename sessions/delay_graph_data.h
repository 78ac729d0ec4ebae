#pragma once

#include <QList>
#include <QMap>
#include <QSet>

#include "sessions/graph_data.h"

// One delay sample of a peer connection, in the codec's units.
struct DelayPoint {
    int bufferDelay = 0;   // "bufferDelay"
    int packetJitter = 0;  // "packetJitter"
};

// The delay history of one peer connection, newest sample first, at most GraphData::kCapacity per
// list. The lists grow and shrink together.
struct DelaySeries {
    QList<DelayPoint> points;
    QList<int> desiredDelay;  // "bufferDesiredDelay"
    QList<qint64> takenMs;    // when each sample was taken, on a monotonic clock
};

// A session's delay series, one per peer connection with statistics (`delayGraph`).
class DelayGraphData : public GraphData {
    Q_OBJECT

public:
    explicit DelayGraphData(QObject* parent = nullptr);
    ~DelayGraphData() override;

    // True when the peer has a series with at least one point.
    bool hasData(int peer) const override;
    // A copy of the peer's series; empty lists when it has none.
    DelaySeries series(int peer) const;

    // Puts one sample, taken at `takenMs`, in front of the peer's series (starting one when
    // needed), drops what lies beyond kCapacity and notes the change for announceChanges().
    void addSample(int peer, int bufferDelay, int packetJitter, int bufferDesiredDelay, qint64 takenMs);
    // Drops the series of every peer not in `peers` (the ids of the latest peer statistics);
    // notes a change when one was dropped.
    void retainPeers(const QSet<int>& peers);
    // Drops every series, noting no change.
    void clear();

private:
    // guarded by the session mutex; views read copies only (see GraphData)
    QMap<int, DelaySeries> series_by_peer_;
};
