#pragma once

#include <QObject>

// The common face of a session's loss and delay series for the graphs: which peer a view shows,
// how many samples a series keeps, and a signal on every change.
//
// Threads: GUI thread only. The session adds samples and clears the series under its own mutex;
// dataChanged is emitted with that mutex held, so receivers only schedule a repaint. A view reads
// `peer`, asks hasData and copies the series it paints (LossGraphData::series,
// DelayGraphData::series); it never keeps a pointer into the series past a return to the event
// loop: the next statistics message changes them and a peer list without active peers drops them.
class GraphData : public QObject {
    Q_OBJECT

public:
    static constexpr int kCapacity = 30;

    explicit GraphData(QObject* parent = nullptr);
    ~GraphData() override;

    virtual bool hasData(int peer) const;

    int capacity() const { return kCapacity; }
    int peer() const { return peer_; }

public slots:
    void setPeer(int peer);

signals:
    void dataChanged();

private:
    int peer_ = 0;  // the peer whose series the views show
};
