#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <array>
#include <optional>

#include "sessions/iq_endpoint_client.h"

class IPCObject;
class MiniMeter;
class QTreeWidgetItem;

// One codec's row of the summary tree: it owns the row's item and keeps its columns current from
// the session (unit name, address, state or connection count, first connected peer, and the
// receiving connection's frame loss, latency and duration); the connection and its figures only
// while the codec is READY, empty otherwise. On request it makes the small level
// meter that the summary view places in the "Levels" column. The statistics columns sort by their
// numbers, not by their text, and the "Levels" column by the loudest of the codec's four levels as
// the row last took them (takeLevelsForSorting); a row without levels sorts first.
//
// Its cells' tool tips say why the codec's connection last failed; a READY codec whose levels or
// statistics stopped coming is marked "Stale" and its statistics cells are shown stale (greyed and
// slanted: the slant shows on a selected row too).
//
// The row holds its session by QPointer and does nothing once the session is gone. The codec's
// names are shown as CodecText bounds them.
//
// Threads: GUI thread only.
class ZorvaStatRow : public QObject {
    Q_OBJECT

public:
    // The summary tree's columns, in order; what each shows and how it sorts is the table of
    // columns in zorva_stat_row.cpp. The widths the configuration file keeps are by column index.
    enum Column {
        kNameColumn = 0,
        kAddressColumn = 1,
        kStatusColumn = 2,
        kConnectionsColumn = 3,
        kLevelsColumn = 4,
        kFrameLossColumn = 5,
        kLatencyColumn = 6,
        kDurationColumn = 7,
        kScheduledColumn = 8,
        kColumnCount = 9,
    };
    // The receiving connection's figures that the statistics columns show, as the codec reports
    // them: frame loss and latency in tenths, the duration in seconds.
    enum Figure { kNoFigure = -1, kFrameLoss, kLatency, kDuration, kFigureCount };

    // Where the "Levels" cell holds the level the row sorts by (a float, dB); none without levels.
    static constexpr int kLevelSortRole = Qt::UserRole;
    // The tree's header texts, one per column.
    static QStringList headerTexts();
    // Whether the column shows one of the receiving connection's figures.
    static bool isStatisticsColumn(int column);

    // `uuid` is the tile key the summary view made for the codec.
    ZorvaStatRow(IPCObject* session, QUuid uuid);
    // Deletes the item, which so leaves its tree.
    ~ZorvaStatRow() override;

    QTreeWidgetItem* item() const { return item_; }
    QUuid key() const { return uuid_; }
    IPCObject* session() const;

    // The row's meter, made on first use and fed the session's levels; the caller places it.
    MiniMeter* meter();
    // The meter if one exists, else null.
    MiniMeter* existingMeter() const;
    // Forgets the meter at once, while its removal from the tree is still pending, so that a
    // quick switch back on makes a new one.
    void releaseMeter();
    // Takes the session's newest levels as the row's place when the tree sorts by "Levels".
    void takeLevelsForSorting();
    // Whether the row lies in the tree's viewport; a row out of it keeps only its sort cell current.
    // Rows start in sight.
    void setInSight(bool isInSight);
    // Writes the statistics cell of `column` from the newest figures, in sight or not: the tree is
    // about to sort by it.
    void showFigureForSorting(int column);

public slots:
    void ipcRecvSysOptions(QUuid uuid);
    void ipcChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state);
    void ipcRecvPeerList(QUuid uuid);
    void setStatus(const QString& text);
    void setConnected(const QString& text);
    void updateStats(QUuid uuid);
    void meterDestroyed();
    // The last failure and the figures' freshness, as the tool tips, the status's mark and the
    // statistics cells' look.
    void showHealth();

private:
    // The newest figures, by Figure.
    using Figures = std::array<qint64, kFigureCount>;

    void updateConnectionText();
    // Writes the cells whose figure differs from the one shown: every codec's statistics come every
    // few seconds, most of them the same as before.
    void showFigures(const Figures& figures);
    // Writes the cell of a statistics column from reportedFigures_ if its figure differs from the one
    // shown.
    void showFigure(int column);
    void clearStats();
    // Whether the session is READY: only then are its connections and figures current.
    bool isLive() const;

    QPointer<IPCObject> session_;
    QTreeWidgetItem* item_;  // owned
    const QUuid uuid_;
    QPointer<MiniMeter> meter_;               // owned by the tree once placed there
    std::optional<Figures> reportedFigures_;  // the newest figures; none while the codec has none
    // The figure each statistics cell shows, by Figure; none: empty.
    std::array<std::optional<qint64>, kFigureCount> shownFigures_;
    bool isInSight_ = true;
};
