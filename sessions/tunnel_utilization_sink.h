#pragma once

#include <QVector>

// What a tunnel session needs of a utilization graph (the widgets layer implements it): one
// throughput sample per statistics report, in connection order.
class TunnelUtilizationSink {
public:
    virtual ~TunnelUtilizationSink() = default;

    // `values`: the connections' throughputs in kbit/s; `reset`: the set of connections changed,
    // so earlier bars no longer match the current connections.
    virtual void addSample(int key, const QVector<int>& values, bool reset) = 0;
    // Asks for a repaint on the next pass of the event loop.
    virtual void scheduleRepaint() = 0;
};
