#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <string>
#include <utility>
#include <vector>

#include "ipc/message/message.h"
#include "sessions/tunnel_connection_label.h"
#include "sessions/tunnel_loss_sink.h"
#include "sessions/tunnel_utilization_sink.h"

namespace tunnel_test {

// A report as the codec sends it, written as XML for readability.
inline Message xml(const std::string& text) {
    Message message;
    message.parse(text);
    return message;
}

// Stand-ins for the tunnel page's widgets: QObjects, as the widgets are, that record what the
// session asks of them.
class FakeGraph : public QObject, public TunnelUtilizationSink, public TunnelLossSink {
public:
    void addSample(int, const QVector<int>& values, bool reset) override { throughputs.emplace_back(values, reset); }
    void addSample(int, int loss, int late, int recovery) override { losses.push_back({loss, late, recovery}); }
    void scheduleRepaint() override { ++repaints; }

    std::vector<std::pair<QVector<int>, bool>> throughputs;  // values, reset
    std::vector<std::vector<int>> losses;
    int repaints = 0;
};

class FakeLabel : public QObject, public TunnelConnectionLabel {
public:
    FakeLabel(QObject* container, int index_, const QString& uid_, const QString& first_, const QString& second_,
              bool inLayout_)
        : QObject(container), index(index_), uid(uid_), first(first_), second(second_), inLayout(inLayout_) {}
    void setLabels(const QString& first_, const QString& second_, bool) override {
        first = first_;
        second = second_;
    }
    void setColor(int index_) override { index = index_; }
    void setShown(bool shown_) override { shown = shown_; }

    int index;
    QString uid, first, second;
    bool inLayout;
    bool shown = false;
};

inline QObject* fakeButtonFactory(QObject* container, int index, const QString& uid, const QString& first,
                                  const QString& second, bool inLayout) {
    return new FakeLabel(container, index, uid, first, second, inLayout);
}

// The labels alive in `container`: the transmit ones (put in the layout) or the receive ones.
inline std::vector<FakeLabel*> labels(const QObject& container, bool transmit) {
    std::vector<FakeLabel*> found;
    for (QObject* child : container.children()) {
        auto* label = dynamic_cast<FakeLabel*>(child);
        if (label && label->inLayout == transmit) found.push_back(label);
    }
    return found;
}

}  // namespace tunnel_test
