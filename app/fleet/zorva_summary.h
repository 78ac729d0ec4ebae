#pragma once

#include <QIcon>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <optional>

class IPCObject;
class InstanceWidget;
class MainWindow;
class PasswordPromptQueue;
class QGridLayout;
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
// through its one prompt queue, and it reads and writes kt-config.xml, whose records follow its
// tiles.
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
    // Removes the tile under the key: its session leaves the instance map and is marked for
    // deletion, and the selection is emptied. An unknown key changes nothing.
    void removeInstance(const QUuid& tileKey);
    // The same for the selected tile.
    void removeInstance();
    // Removes the selected codec's tile and row.
    void removeSelectedInstance();
    // Shows or hides the small meters of the codec under the key, as its metering is switched.
    void setMeterShown(const QUuid& tileKey, bool isShown);

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

    // Writes kt-config.xml from the window, the tree's columns and the codecs; failures are shown.
    void saveConfig();
    // Reads kt-config.xml once at start-up and brings every codec in it live. False when there was
    // no file or it could not be loaded; failures are shown (after the configuration lock is
    // released) and the file is kept as a copy first.
    bool loadConfig();

signals:
    // The session of the newly selected codec; null after a removal.
    void selectionChanged(IPCObject* session);

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

private:
    // What loading found, for the boxes shown once the lock is released.
    struct LoadOutcome {
        bool hasFile = false;
        QString error;        // why the file could not be loaded; empty when it was
        int droppedCodecs = 0;
        QString keptCopy;     // where the original was copied; empty when no copy was needed or made
    };

    void addSummaryRow(IPCObject* session, const QUuid& key);
    void removeSummaryRow(const QUuid& key);
    void removeSummaryRow();
    // The session of the selected tile; null when none is selected or it was removed.
    IPCObject* selectedSession() const;
    void showRowMeter(ZorvaStatRow& row, bool isShown);
    // Where an arrow key, Home or End moves the selection in tileList from the selected tile (from
    // none to the first); out of range at the grid's edges; none for any other key.
    std::optional<int> tileIndexForKey(int key) const;
    void setUpSorting();
    // Sorts the rows by the header's sort column and order.
    void sortTree();
    // Reads and applies the file; runs under the configuration lock.
    void readConfig(LoadOutcome& outcome);
    // Keeps a copy of the file the load could not take whole; without one, refuses later writes.
    void keepOriginal(LoadOutcome& outcome);
    // The window this view is the centre of; null while the view stands alone.
    MainWindow* mainWindow() const;

    Ui::ZorvaSummaryClass* ui;  // owned
    QGridLayout* gridLayout;    // on the tile page's scroll area; places the tiles
    QList<InstanceWidget*> tileList;               // in the order of addition; children of the grid
    QMap<QUuid, InstanceWidget*> tileMap;          // tile key -> tile
    QMap<QUuid, ZorvaStatRow*> rowMap;             // tile key -> its row (owned)
    QMap<QTreeWidgetItem*, ZorvaStatRow*> itemRowMap;  // the row's item -> the row
    QUuid selectedUuid;  // null until the first selection; keeps a removed key until the next
    PasswordPromptQueue* prompts;  // child of the view
    QPointer<Scheduler> scheduler_;
    QIcon clockIcon;
    QTimer resortTimer;  // runs while a cell of the sort column has changed since the last sort
    // Why this run must not overwrite kt-config.xml (it could not be loaded, nor copied); empty
    // when it may.
    QString configWriteRefusal;
};
