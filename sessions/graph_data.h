#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QtGlobal>

// The common face of a session's loss and delay series for the graphs: which peer a view shows,
// how many samples a series keeps, and a signal after every change. Each sample keeps the time it
// was taken, so that a view places it by that time: a codec reports each second while a view shows
// its statistics and every few seconds otherwise.
//
// Threads: GUI thread only. The session adds samples and drops series under its own mutex, which
// records the change; once it has released the mutex it calls announceChanges(), which emits
// dataChanged, so a receiver may do anything a slot may (send, ask the pool). A view reads
// `peer`, asks hasData and copies the series it paints (LossGraphData::series,
// DelayGraphData::series); it never keeps a pointer into the series past a return to the event
// loop: the next statistics message changes them and a peer list without active peers drops them.
class GraphData : public QObject {
    Q_OBJECT

public:
    static constexpr int kCapacity = 30;
    // The span a view shows: a second per sample the series keeps at the codec's own pace.
    static constexpr qint64 kShownSpanMs = kCapacity * 1000;

    explicit GraphData(QObject* parent = nullptr);
    ~GraphData() override;

    virtual bool hasData(int peer) const;

    int capacity() const { return kCapacity; }
    int peer() const { return peer_; }

    // Emits dataChanged once when samples were added or series dropped since the last call. Call it
    // without holding the session mutex.
    void announceChanges();

public slots:
    void setPeer(int peer);

signals:
    void dataChanged();

protected:
    // Notes a change for the next announceChanges().
    void note_change() { has_unannounced_change_ = true; }

    // Puts `value` first and drops the oldest values beyond `capacity`.
    template <typename T>
    static void push_newest(QList<T>& list, const T& value, int capacity) {
        list.prepend(value);
        while (list.size() > capacity) list.removeLast();
    }

    // Drops the series of every peer not in `peers`, noting a change when any went.
    template <typename Series>
    void retain(QMap<int, Series>& series_by_peer, const QSet<int>& peers) {
        bool is_dropped = false;
        for (auto it = series_by_peer.begin(); it != series_by_peer.end();) {
            if (peers.contains(it.key())) {
                ++it;
            } else {
                it = series_by_peer.erase(it);
                is_dropped = true;
            }
        }
        if (is_dropped) note_change();
    }

private:
    int peer_ = 0;  // the peer whose series the views show
    bool has_unannounced_change_ = false;
};
