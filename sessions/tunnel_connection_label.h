#pragma once

#include <QString>

// What a tunnel session needs of the label of one tunnel connection on the tunnel page (the widgets
// layer's interface button implements it).
class TunnelConnectionLabel {
public:
    virtual ~TunnelConnectionLabel() = default;

    // The two interface descriptions, local side first as seen from the label's direction; `force`
    // relabels even when they are unchanged.
    virtual void setLabels(const QString& first, const QString& second, bool force) = 0;
    // The connection's position in its report; picks the colour and the place in the stack.
    virtual void setColor(int index) = 0;
    virtual void setShown(bool shown) = 0;
};
