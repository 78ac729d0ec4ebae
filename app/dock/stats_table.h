#pragma once

#include <QStringList>
#include <Qt>

#include <optional>

class IPCObject;
class QTreeWidget;
struct ChannelStatsInfo;
struct PeerStatsInfo;

// The connection statistics table of the dock's Statistics tab: one row per audio connection of
// the codec shown, with its duration, rates, overheads, delays and losses. Column 0 carries the
// peer's id (an int) under kPeerIdRole.
//
// Threads: GUI thread only; the session's lists and statistics are copied under its mutex and the
// rows are built after it is released.
class StatsTable {
public:
    static constexpr int kPeerIdRole = Qt::UserRole + 10;

    explicit StatsTable(QTreeWidget* table);

    // Replaces every row with those of the session's active peers that have both peer and channel
    // statistics; null only empties. The row of the peer selected before stays current; when it
    // has gone, the first row becomes current.
    void rebuild(IPCObject* session);

    // Shows the rows as stale (showFigureStale) while the codec's statistics stopped coming, and the
    // rows built later.
    void setStale(bool isStale);

    // The peer id of the first selected row; none without a selection.
    std::optional<int> selectedPeerId() const;

    // The ten texts of one row: the name, the call time as durationText gives it, the
    // receive and transmit rates and overheads in whole kbit/s, the delays in whole ms and the
    // losses in whole percent, each truncated toward zero.
    static QStringList rowTexts(const QString& name, const PeerStatsInfo& peer, const ChannelStatsInfo& channel);

private:
    void showStaleness();

    QTreeWidget* table;  // the form's; not owned
    bool isStale_ = false;
};
