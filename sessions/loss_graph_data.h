#pragma once

#include <QList>
#include <QMap>
#include <QSet>

#include "sessions/graph_data.h"

// The loss history of one peer connection, newest sample first, at most GraphData::kCapacity per
// list. The lists grow and shrink together.
struct LossSeries {
    QList<int> frameLossRate;  // "frameLossRate"
    QList<int> remoteLoss;     // "remoteLoss"
    QList<int> correction;     // "corrUpRate" + "corrDownRate"
    QList<qint64> takenMs;     // when each sample was taken, on a monotonic clock
};

// A session's loss series, one per peer connection with statistics (`lossGraph`).
class LossGraphData : public GraphData {
    Q_OBJECT

public:
    explicit LossGraphData(QObject* parent = nullptr);
    ~LossGraphData() override;

    // True when the peer has a series with at least one sample.
    bool hasData(int peer) const override;
    // A copy of the peer's series; empty lists when it has none.
    LossSeries series(int peer) const;

    // Puts one sample, taken at `takenMs`, in front of the peer's series (starting one when
    // needed), drops what lies beyond kCapacity and notes the change for announceChanges(). The
    // correction rate is the sum of both directions, held to the int range.
    void addSample(int peer, int frameLossRate, int remoteLoss, int corrUpRate, int corrDownRate, qint64 takenMs);
    // Drops the series of every peer not in `peers` (the ids of the latest peer statistics);
    // notes a change when one was dropped.
    void retainPeers(const QSet<int>& peers);
    // Drops every series, noting no change.
    void clear();

private:
    // guarded by the session mutex; views read copies only (see GraphData)
    QMap<int, LossSeries> series_by_peer_;
};
