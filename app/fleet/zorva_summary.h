#pragma once

#include <QIcon>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <optional>

#include "sessions/report_pacer.h"

class IPCObject;
class InstanceWidget;
class PasswordPromptQueue;
class QGridLayout;
class QHeaderView;
class QTreeWidgetItem;
class Scheduler;
class ZorvaStatRow;

namespace Ui {
class ZorvaSummaryClass;
}

// The fleet at a glance, the main window's central widget: every managed codec as a tile (page 0,
// four to a row) and as a row of the summary tree (page 1), in the order the codecs were added.
// Each codec is added under a tile key of its own, distinct from its session's instance key; the
// tile and the row share it, and the selection and removal go by it. The selected codec becomes
// the main window's active instance through selectionChanged. The tree's current row and the tile
// the keyboard moves to are the selection, so the keyboard selects as the mouse does; a removal
// leaves neither a current row nor a selected tile. The view asks for login passwords
// through its one prompt queue. It talks up by signals: the window runs the menus it asks for and
// follows its page.
//
// Threads: GUI thread only.
class ZorvaSummary : public QWidget {
    Q_OBJECT

public:
    explicit ZorvaSummary(QWidget* parent = nullptr);
    // Deletes the rows before the tree; saves nothing (the main window has saved just before).
    ~ZorvaSummary() override;

    // Adds a tile and a row for the session and returns their new tile key. The session stays the
    // caller's. The tile is placed by the next layoutTiles.
    QUuid addInstance(IPCObject* session);
    // Places every tile in the grid, four to a row, in the order they were added.
    void layoutTiles();
    // Selects the tile under `tileKey` as a click would; nothing for an unknown key.
    void selectTile(QUuid tileKey);
    // Removes the tile and the row under the key: the session leaves the instance map and is
    // marked for deletion, the selection is emptied and the other tiles close the gap. An unknown
    // key changes nothing.
    void removeInstance(const QUuid& tileKey);
    // Shows or hides the small meters of the codec under the key, as its metering is switched.
    void setMeterShown(const QUuid& tileKey, bool isShown);
    // Adds what the view shows in sight now (FrameClock::isInSight): the sessions whose levels a
    // tile's or a row's meter draws; those whose statistics a row shows, the rows in the tree's
    // viewport while one of its statistics columns is in sight too; and whether the tree sorts
    // every codec by its levels (once a second, by the newest) or by a statistics figure.
    void addDemand(ReportPacer::Demand& demand) const;
    // Gives the metered rows in the tree's viewport their small meter and takes it from the rows
    // that have left it. Asked at every frame.
    void placeRowMetersInSight();

    // Where the clocks of the tiles and rows ask for scheduled connections; null shows none.
    void setScheduler(Scheduler* scheduler);
    PasswordPromptQueue& passwordPrompts() const { return *prompts; }

    // The sessions in the order they were added: the order of the tiles and of the file's records.
    QList<IPCObject*> sessionsInTileOrder() const;
    bool hasInstances() const { return !tileList.isEmpty(); }
    QUuid selectedKey() const { return selectedUuid; }
    InstanceWidget* tile(const QUuid& tileKey) const { return tileMap.value(tileKey); }
    ZorvaStatRow* summaryRow(const QUuid& tileKey) const { return rowMap.value(tileKey); }
    // 0 tiles, 1 the summary tree.
    int currentPage() const;
    // The summary tree's header, whose column widths the configuration keeps.
    QHeaderView& treeHeader() const;

signals:
    // The session of the newly selected codec; null after a removal.
    void selectionChanged(IPCObject* session);
    // The operator asked at `globalPos` for the menu of `session`, the selected codec, or for the
    // view's own menu (null).
    void menuRequested(IPCObject* session, const QPoint& globalPos);
    // The view shows the other page now.
    void pageChanged();

public slots:
    void tileSelected(QUuid key);
    void showStatsOverview();
    void showGeneralOverview();
    void updateScheduled();
    void showSummaryTreeContextMenu(const QPoint& pos);
    void updateCount();
    void showContextMenu(const QPoint& pos);
    void summaryTreeItemActivated(QTreeWidgetItem* item, int column);

protected:
    // Arrow keys, Home and End on the tile page move the selection from tile to tile.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A click on the tree chooses the row under the pointer, also one half out of sight.
    void keepRowUnderPointer(const QEvent& event);

private:
    void addSummaryRow(IPCObject* session, const QUuid& key);
    void removeSummaryRow(const QUuid& key);
    // The session of the selected tile; null when none is selected or it was removed.
    IPCObject* selectedSession() const;
    void showRowMeter(ZorvaStatRow& row, bool isShown);
    void placeRowMeter(ZorvaStatRow& row);
    void removeRowMeter(ZorvaStatRow& row);
    // The sessions of the tiles whose meter lies in the tile page's viewport.
    void addTilesInSight(QSet<IPCObject*>& sessions) const;
    // The rows in the tree's viewport, top to bottom.
    QList<ZorvaStatRow*> rowsInViewport() const;
    bool isTreeInSight() const;
    // Whether a statistics column lies at least in part in the tree's viewport.
    bool isStatisticsColumnInSight() const;
    // Where an arrow key, Home or End moves the selection in tileList from the selected tile (from
    // none to the first); out of range at the grid's edges; none for any other key.
    std::optional<int> tileIndexForKey(int key) const;
    void setUpSorting();
    void fitColumnsToCommonTexts();
    // Sorts the rows by the header's sort column and order.
    void sortTree();
    bool isSortedByLevels() const;
    // Moves the last row to where sortTree would put it.
    void placeLastRowInOrder();

    Ui::ZorvaSummaryClass* ui;                         // owned
    QGridLayout* gridLayout;                           // on the tile page's scroll area; places the tiles
    QList<InstanceWidget*> tileList;                   // in the order of addition; children of the grid
    QMap<QUuid, InstanceWidget*> tileMap;              // tile key -> tile
    QMap<QUuid, ZorvaStatRow*> rowMap;                 // tile key -> its row (owned)
    QMap<QTreeWidgetItem*, ZorvaStatRow*> itemRowMap;  // the row's item -> the row
    QSet<ZorvaStatRow*> meteredRows;                   // rows whose codec's metering is on
    QSet<ZorvaStatRow*> rowsWithMeter;                 // rows whose meter the tree holds now
    QSet<ZorvaStatRow*> rowsInSight;                   // rows in the tree's viewport at the last frame it was in sight
    bool isTreeSightKnown = false;                     // a frame has shown the tree: rowsInSight says which rows are
    QUuid selectedUuid;            // null until the first selection; keeps a removed key until the next
    PasswordPromptQueue* prompts;  // child of the view
    QPointer<Scheduler> scheduler_;
    QIcon clockIcon;
    QTimer resortTimer;  // runs while a cell of the sort column has changed since the last sort
};
