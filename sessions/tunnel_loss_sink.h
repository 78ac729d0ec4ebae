#pragma once

// What a tunnel session needs of a loss, late and recovery graph (the widgets layer implements it).
class TunnelLossSink {
public:
    virtual ~TunnelLossSink() = default;

    // Rates in tenths of a percent (1000 is 100 %).
    virtual void addSample(int key, int loss, int late, int recovery) = 0;
    // Asks for a repaint on the next pass of the event loop.
    virtual void scheduleRepaint() = 0;
};
